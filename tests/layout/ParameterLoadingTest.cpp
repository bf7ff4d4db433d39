// Loading of the log K values, charges and weights from worksheets 3 and 4. Each
// field's cell is the literal A1 address of the sheets' layout, not computed
// with the loader's index formulas, so that an off-by-one in a formula shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "common/Errors.h"
#include "layout/ParameterLoading.h"
#include "layout/WorkbookLayout.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek {
namespace {

using workbook::CellValue;
using workbook::MemoryWorkbook;

// "D14" -> row 14, column 4 (one-letter columns only), independent of the
// workbook's own CellAddress.
void Put(MemoryWorkbook& book, int sheet, const std::string& a1, CellValue value) {
  book.Sheet(sheet).Put(std::stoi(a1.substr(1)), a1[0] - 'A' + 1, std::move(value));
}

// A number of its own for every cell, so that a value in the wrong field shows.
double Distinct(int sheet, const std::string& a1) {
  return sheet * 10000.0 + (a1[0] - 'A' + 1) * 100.0 + std::stoi(a1.substr(1)) + 0.25;
}

// One field a loader fills: K log K of a constant, c/w charge/weight of a
// species, C/W charge/weight of a complex, S/s sum start/scale; row in its table.
struct Field {
  int sheet;
  std::string cell;
  char kind;
  int row;
};

double& At(ModelState& s, const Field& f) {
  if (f.kind == 'K') return s.ConstantTable[f.row].LogK;
  if (f.kind == 'S' || f.kind == 's') return f.kind == 'S' ? s.AuxTable[f.row].WeightedSum : s.AuxTable[f.row].SumScale;
  SpeciesRecord& r = f.kind == 'c' || f.kind == 'w' ? s.SpeciesTable[f.row] : s.ComplexTable[f.row];
  return f.kind == 'c' || f.kind == 'C' ? r.Charge : r.SumWeight;
}

// The 100 cells LoadParameterTables reads, in its reading order, with their
// fields from the layout tables: constants 1-6, then 7-30 (C13..F13 7-10 on to
// C18..F18 27-30) column by column; species charge (row 4) and weight (row 6);
// per column of complexes rows 10, 11 (complexes 1-12) and 14, 15 (13-24).
std::vector<Field> TableCells() {
  std::vector<Field> f;
  const std::pair<const char*, int> constants[] = {
      {"B5", 1},   {"C5", 2},   {"D5", 3},   {"E5", 4},   {"F5", 5},   {"G5", 6},   {"C13", 7},  {"C14", 11},
      {"C15", 15}, {"C16", 19}, {"C17", 23}, {"C18", 27}, {"D13", 8},  {"D14", 12}, {"D15", 16}, {"D16", 20},
      {"D17", 24}, {"D18", 28}, {"E13", 9},  {"E14", 13}, {"E15", 17}, {"E16", 21}, {"E17", 25}, {"E18", 29},
      {"F13", 10}, {"F14", 14}, {"F15", 18}, {"F16", 22}, {"F17", 26}, {"F18", 30}};
  for (const auto& [cell, n] : constants) f.push_back({3, cell, 'K', n});
  for (int i = 1; i <= 11; ++i) {
    const std::string column(1, "BCDEFGHIJKL"[i - 1]);
    f.insert(f.end(), {{4, column + "4", 'c', i}, {4, column + "6", 'w', i}});
  }
  for (int j = 1; j <= 12; ++j) {
    const std::string column(1, "BCDEFGHIJKLM"[j - 1]);
    for (const auto& [row, kind, m] :
         {std::tuple{"10", 'C', j}, {"11", 'W', j}, {"14", 'C', j + 12}, {"15", 'W', j + 12}})
      f.push_back({4, column + row, kind, m});
  }
  return f;
}

// Every table field set to a value of its own, so that any stray write shows.
ModelState Sentinels() {
  ModelState s;
  double v = 0.5;
  for (int i = 1; i <= 12; ++i) s.SpeciesTable[i] = {v++, v++, v++, v++, v++, v++, v++, v++, true};
  for (int i = 1; i <= 24; ++i) s.ComplexTable[i] = {v++, v++, v++, v++, v++, v++, v++, v++, true};
  for (int i = 1; i <= 30; ++i) s.ConstantTable[i] = {v++, v++, v++};
  for (int i = 1; i <= 13; ++i) s.AuxTable[i] = {v++, v++};
  return s;
}

struct Loader {
  const char* name;
  void (*load)(ModelState&, workbook::Workbook&);
  std::vector<Field> cells;
};
const std::vector<Loader> kLoaders = {
    {"LoadParameterTables", LoadParameterTables, TableCells()},
    {"LoadWeightedSumParameters", LoadWeightedSumParameters, {{4, "E19", 'S', 11}, {4, "E20", 's', 11}}}};

// Every cell of the loader holds its distinct number. Cells it never reads hold
// text, a type mismatch if they were read: the other loader's, those just past
// each block (M4, M6, N10...), species 12's would-be cells, the cells the
// report writes on worksheet 3, the input sheets.
MemoryWorkbook FilledBook(const Loader& loader) {
  MemoryWorkbook book;
  for (const Loader& l : kLoaders) {
    for (const Field& f : l.cells) {
      Put(book, f.sheet, f.cell,
          &l == &loader ? CellValue::Number(Distinct(f.sheet, f.cell)) : CellValue::Text("note"));
    }
  }
  for (const auto& [sheet, cell] : std::vector<std::pair<int, const char*>>{
           {4, "M4"},  {4, "M6"},  {4, "N10"}, {4, "N11"}, {4, "N14"}, {4, "N15"}, {4, "A4"}, {4, "A6"},
           {4, "B5"},  {4, "B12"}, {4, "M12"}, {3, "A5"},  {3, "H5"},  {3, "B6"},  {3, "G6"}, {3, "B13"},
           {3, "C12"}, {3, "G13"}, {3, "C19"}, {3, "J13"}, {3, "M18"}, {1, "A5"},  {2, "B2"}})
    Put(book, sheet, cell, CellValue::Text("note"));
  return book;
}

TEST(ParameterLoading, EveryCellLandsInItsOwnFieldAndNothingElseChanges) {
  for (const Loader& loader : kLoaders) {
    MemoryWorkbook book = FilledBook(loader);
    ModelState state = Sentinels(), expected = state;
    loader.load(state, book);
    for (const Field& f : loader.cells) {
      EXPECT_EQ(At(state, f), Distinct(f.sheet, f.cell)) << loader.name << " " << f.cell;
      At(expected, f) = Distinct(f.sheet, f.cell);
    }
    // Dissolved CO2 (species 12) has no cells and keeps its values.
    EXPECT_TRUE(state == expected) << loader.name << " changed a field outside its cells";
    // The workbook is only read: no cell written, no run formatted, nothing saved.
    for (int n = 1; n <= 4; ++n) EXPECT_TRUE(book.Sheet(n).Writes().empty() && book.Sheet(n).Formats().empty());
    EXPECT_EQ(book.SaveCount(), 0);
  }
}

TEST(ParameterLoading, TextInAnyCellIsATypeMismatchAfterTheCellsBeforeIt) {
  // For each cell in turn (G5, E20 among them): the error names worksheet, cell
  // and text; the cells read before it are loaded, those after it untouched.
  for (const Loader& loader : kLoaders) {
    const std::vector<Field>& cells = loader.cells;
    for (std::size_t k = 0; k < cells.size(); ++k) {
      MemoryWorkbook book = FilledBook(loader);
      Put(book, cells[k].sheet, cells[k].cell, CellValue::Text("see note"));
      ModelState state = Sentinels(), expected = state;
      for (std::size_t i = 0; i < k; ++i) At(expected, cells[i]) = Distinct(cells[i].sheet, cells[i].cell);
      try {
        loader.load(state, book);
        ADD_FAILURE() << "no error for text in " << cells[k].cell;
      } catch (const TypeMismatchError& e) {
        const std::string message = e.what();
        for (const std::string& part :
             {"worksheet " + std::to_string(cells[k].sheet), "cell " + cells[k].cell + " ", std::string("see note")})
          EXPECT_NE(message.find(part), std::string::npos) << message;
      }
      EXPECT_TRUE(state == expected) << "text in " << cells[k].cell;
    }
  }
}

TEST(WorkbookLayout, AWorkbookWithoutTheFourWorksheetsIsRefused) {
  MemoryWorkbook three(3), four;
  EXPECT_THAT([&] { layout::CheckWorkbookLayout(three); },
              ::testing::ThrowsMessage<WorkbookError>(
                  ::testing::AllOf(::testing::HasSubstr("memory.xlsx"), ::testing::HasSubstr("it has 3 worksheet(s)"),
                                   ::testing::HasSubstr("needs four, in this order: Main, Batch"))));
  EXPECT_NO_THROW(layout::CheckWorkbookLayout(four));
}

} // namespace
} // namespace vontralek
