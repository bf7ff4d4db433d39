// Loading of the log K values, charges and weights from worksheets 3 and 4. The cells are the literal ranges of the
// worksheets' documentation, each filled with a number of its own, so that a value in the wrong field shows.
#include <gmock/gmock.h>

#include "TestSupport.h"
#include "common/Errors.h"
#include "layout/ParameterLoading.h"
#include "layout/WorkbookLayout.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::AllOf, ::testing::HasSubstr, ::testing::ThrowsMessage;
using Field = double& (*)(ModelState&, int);

// A range read row by row into the table rows first, first + 1, ...
struct Block {
  int sheet;
  const char *from, *to;
  int first;
  Field field;
};
double& LogK(ModelState& s, int n) { return s.ConstantTable[n].LogK; }
double& Charge(ModelState& s, int n) { return s.SpeciesTable[n].Charge; }
double& Weight(ModelState& s, int n) { return s.SpeciesTable[n].SumWeight; }
double& ComplexCharge(ModelState& s, int n) { return s.ComplexTable[n].Charge; }
double& ComplexWeight(ModelState& s, int n) { return s.ComplexTable[n].SumWeight; }
double& Start(ModelState& s, int n) { return s.AuxTable[n].WeightedSum; }
double& Scale(ModelState& s, int n) { return s.AuxTable[n].SumScale; }

// Constants 1-6 in B5:G5, 7-30 in C13:F18 (OH-, then ligands 1-5, against cations 1-4); charges and weights of species
// 1-11 (rows 4 and 6) and of complexes 1-12 (rows 10, 11) and 13-24 (rows 14, 15); the weighted sum.
// clang-format off
const Block kBlocks[] = {{3, "B5", "G5", 1, LogK}, {3, "C13", "F18", 7, LogK}, {4, "B4", "L4", 1, Charge}, {4, "B6", "L6", 1, Weight},
                         {4, "B10", "M10", 1, ComplexCharge}, {4, "B14", "M14", 13, ComplexCharge}, {4, "B11", "M11", 1, ComplexWeight},
                         {4, "B15", "M15", 13, ComplexWeight}, {4, "E19", "E19", WeightedSumRecord, Start}, {4, "E20", "E20", WeightedSumRecord, Scale}};
// clang-format on

// Every cell holds a number of its own; the cells past each block and those the report writes hold text.
TEST(ParameterLoading, EveryCellLandsInItsOwnFieldAndNothingElseChanges) {
  MemoryWorkbook book;
  ModelState state, expected;
  const auto each = [&](auto visit) {
    for (const Block& b : kBlocks)
      for (int r = At(b.from).first, n = b.first; r <= At(b.to).first; ++r)
        for (int c = At(b.from).second; c <= At(b.to).second; ++c) visit(b, r, c, n++, b.sheet * 1e6 + r * 1e3 + c);
  };
  each([&](const Block& b, int r, int c, int, double v) { book.Sheet(b.sheet).Put(r, c, Num(v)); });
  for (const auto& [sheet, cell] : std::vector<std::pair<int, const char*>>{
           {4, "M4"}, {4, "M6"}, {4, "N10"}, {4, "N15"}, {4, "B12"}, {3, "H5"}, {3, "B13"}, {3, "G13"}, {3, "C19"}})
    book.Sheet(sheet).Put(At(cell).first, At(cell).second, Text("note"));
  LoadParameterTables(state, book);
  LoadWeightedSumParameters(state, book);
  each([&](const Block& b, int r, int c, int n, double v) {
    EXPECT_EQ(b.field(state, n), v) << "worksheet " << b.sheet << " " << workbook::CellAddress(r, c);
    b.field(expected, n) = v;
  });
  EXPECT_TRUE(state == expected) << "a field outside the cells was written"; // dissolved CO2 has no cells
  for (int n = 1; n <= 4; ++n) EXPECT_TRUE(book.Sheet(n).Writes().empty());
}

TEST(WorkbookLayout, AWorkbookWithoutTheFourWorksheetsIsRefused) {
  MemoryWorkbook three(3), four;
  EXPECT_THAT([&] { layout::CheckWorkbookLayout(three); },
              ThrowsMessage<WorkbookError>(AllOf(HasSubstr("memory.xlsx"), HasSubstr("it has 3 worksheet(s)"),
                                                 HasSubstr("needs four, in this order: Main, Batch"))));
  EXPECT_NO_THROW(layout::CheckWorkbookLayout(four));
}

} // namespace
} // namespace vontralek
