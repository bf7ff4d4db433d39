#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "report/SampleReport.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek {
namespace {

using workbook::CellValue;
using workbook::MemoryWorkbook;
using Cell = std::pair<int, int>;

// A state whose every reported field holds a value that tells where it came
// from: totals 0.001 * row (mol/L), coefficients 0.5 + row / 100, free
// concentrations 0.0001 * row, complexes 0.00001 * row.
ModelState DistinctState(const std::string& pair) {
  ModelState s;
  for (int i = 1; i <= 12; ++i) {
    s.SpeciesTable[i].TotalConc = 0.001 * i;
    s.SpeciesTable[i].Gamma = 0.5 + i / 100.0;
    s.SpeciesTable[i].FreeConc = 0.0001 * i;
  }
  for (int n = 1; n <= 24; ++n) s.ComplexTable[n].FreeConc = 0.00001 * n;
  for (int n = 1; n <= 30; ++n) s.ConstantTable[n].ConditionalK = 10.0; // log10 = 1
  s.PCO2 = 0.00035;
  s.PH = 7.25;
  s.IonicStrength = 0.0123;
  s.AuxTable[11].WeightedSum = -1.75;
  s.InputPair = pair;
  return s;
}

double Number(MemoryWorkbook& wb, int sheet, int row, int column) {
  const CellValue v = wb.Sheet(sheet).Value(row, column);
  EXPECT_EQ(v.kind, CellValue::Kind::Number) << "sheet " << sheet << " cell (" << row << ", " << column << ")";
  return v.number;
}

// Expected Main-sheet cells, written out from the layout table of the report:
// value source per cell in A1 form.
std::map<std::string, double> ExpectedMainCells(const ModelState& s) {
  std::map<std::string, double> e;
  const char* gammaCells[] = {"J9", "K9", "C9", "D9", "E9", "F9", "G9", "H9", "I9", "L9", "M9", "N9"};
  for (int i = 1; i <= 12; ++i) e[gammaCells[i - 1]] = s.SpeciesTable[i].Gamma;
  e["J5"] = s.SpeciesTable[1].TotalConc * 1000;
  e["K5"] = s.SpeciesTable[2].TotalConc * 1000;
  e["L5"] = s.SpeciesTable[10].TotalConc * 1000;
  e["M5"] = s.SpeciesTable[11].TotalConc * 1000;
  e["N5"] = s.SpeciesTable[12].TotalConc * 1000;
  // Header row 15: Na, K, Ca, Mg free; header column D: OH-, L1, L2, SO4, HCO3, CO3 free.
  e["E15"] = s.SpeciesTable[3].FreeConc * 1000;
  e["F15"] = s.SpeciesTable[4].FreeConc * 1000;
  e["G15"] = s.SpeciesTable[5].FreeConc * 1000;
  e["H15"] = s.SpeciesTable[6].FreeConc * 1000;
  const char* ligandCells[] = {"D16", "D17", "D18", "D19", "D20", "D21"};
  const int ligandRows[] = {2, 7, 8, 9, 10, 11};
  for (int k = 0; k < 6; ++k) e[ligandCells[k]] = s.SpeciesTable[ligandRows[k]].FreeConc * 1000;
  // Body: complex 1..4 (hydroxides) in row 16, 5..8 in row 17, ... 21..24 in row 21.
  const char columns[] = {'E', 'F', 'G', 'H'};
  for (int n = 1; n <= 24; ++n) {
    const std::string cell = std::string(1, columns[(n - 1) % 4]) + std::to_string(16 + (n - 1) / 4);
    e[cell] = s.ComplexTable[n].FreeConc * 1000;
  }
  e["Q5"] = s.AuxTable[11].WeightedSum;
  e["R5"] = s.IonicStrength * 1000;
  return e;
}

std::set<std::string> WrittenCells(MemoryWorkbook& wb, int sheet) {
  std::set<std::string> cells;
  for (const auto& [row, column] : wb.Sheet(sheet).Writes()) cells.insert(workbook::CellAddress(row, column));
  return cells;
}

TEST(SampleReport, WritesEveryMainSheetCellOfTheLayoutFromTheState) {
  for (const std::string pair : {"A", "B", "C"}) {
    SCOPED_TRACE("pair " + pair);
    MemoryWorkbook wb;
    const ModelState s = DistinctState(pair);
    WriteSampleReport(s, wb);

    const auto expected = ExpectedMainCells(s);
    for (const auto& [cell, value] : expected) {
      const CellValue v = [&] {
        for (int row = 1; row <= 30; ++row)
          for (int col = 1; col <= 20; ++col)
            if (workbook::CellAddress(row, col) == cell) return wb.Sheet(1).Value(row, col);
        return CellValue::Empty();
      }();
      ASSERT_EQ(v.kind, CellValue::Kind::Number) << cell;
      EXPECT_EQ(v.number, value) << cell;
    }
    // Exactly the layout's cells plus P4 and P5, each once: 53 + 2.
    std::set<std::string> cells;
    for (const auto& [cell, value] : expected) cells.insert(cell);
    cells.insert("P4");
    cells.insert("P5");
    EXPECT_EQ(WrittenCells(wb, 1), cells);
    EXPECT_EQ(wb.Sheet(1).Writes().size(), 55u);
  }
}

TEST(SampleReport, LabelsTheCarbonateVariableThePairDidNotGive) {
  {
    MemoryWorkbook wb;
    WriteSampleReport(DistinctState("A"), wb);
    EXPECT_TRUE(wb.Sheet(1).Value(4, 16).EqualsText("pCO2"));
    EXPECT_EQ(Number(wb, 1, 5, 16), 0.00035);
    // Only the "2" of pCO2 is lowered.
    EXPECT_EQ(wb.Sheet(1).Formats(), (std::vector<workbook::MemoryWorksheet::Format>{{4, 16, 4, 1, false}}));
  }
  for (const std::string pair : {"B", "C"}) {
    MemoryWorkbook wb;
    WriteSampleReport(DistinctState(pair), wb);
    EXPECT_TRUE(wb.Sheet(1).Value(4, 16).EqualsText("pH"));
    EXPECT_EQ(Number(wb, 1, 5, 16), 7.25);
    EXPECT_TRUE(wb.Sheet(1).Formats().empty());
  }
  // Without a pair P4 and P5 keep what they held.
  MemoryWorkbook wb;
  wb.Sheet(1).Put(4, 16, CellValue::Text("old label"));
  wb.Sheet(1).Put(5, 16, CellValue::Number(42));
  WriteSampleReport(DistinctState(""), wb);
  EXPECT_TRUE(wb.Sheet(1).Value(4, 16).EqualsText("old label"));
  EXPECT_EQ(Number(wb, 1, 5, 16), 42.0);
  EXPECT_EQ(wb.Sheet(1).Writes().size(), 53u);
}

TEST(SampleReport, NeverTouchesTheInputRow) {
  MemoryWorkbook wb;
  for (int column = 1; column <= 9; ++column) wb.Sheet(1).Put(5, column, CellValue::Text("input"));
  WriteSampleReport(DistinctState("C"), wb);
  for (int column = 1; column <= 9; ++column) EXPECT_TRUE(wb.Sheet(1).Value(5, column).EqualsText("input"));
}

TEST(SampleReport, WritesTheLogarithmsOfTheConditionalConstantsWithTheNineDecimalFactor) {
  MemoryWorkbook wb;
  ModelState s = DistinctState("A");
  // ConditionalK 1000 and 1e-5: log10 3 and -5. The report's factor
  // 0.434294481 falls short of 1/ln 10 = 0.4342944819032518 by 9.032518e-10,
  // so ln(1000) = 6.907755 gives 3 - 6.2394436e-9 and ln(1e-5) = -11.512925
  // gives -5 + 1.0399073e-8 (hand calculation).
  for (int n = 1; n <= 30; ++n) s.ConstantTable[n].ConditionalK = (n % 2 == 1) ? 1000.0 : 1e-5;
  WriteSampleReport(s, wb);
  const double three = 3.0 - 6.2394436e-9, minusFive = -5.0 + 1.0399073e-8;
  // B6:G6 for constants 1 to 6.
  for (int i = 1; i <= 6; ++i) EXPECT_NEAR(Number(wb, 3, 6, i + 1), i % 2 == 1 ? three : minusFive, 1e-13) << i;
  // J13:M18: constant 4k + j + 6 at row 13 + k, column 9 + j. Constant 7 (odd)
  // is J13, 8 is K13, 11 is J14, 30 is M18.
  EXPECT_NEAR(Number(wb, 3, 13, 10), three, 1e-13);
  EXPECT_NEAR(Number(wb, 3, 13, 11), minusFive, 1e-13);
  EXPECT_NEAR(Number(wb, 3, 14, 10), three, 1e-13);
  EXPECT_NEAR(Number(wb, 3, 18, 13), minusFive, 1e-13);
  // 6 + 24 cells, nothing else on worksheet 3.
  EXPECT_EQ(wb.Sheet(3).Writes().size(), 30u);
}

TEST(SampleReport, AZeroConstantLeavesRowSixAloneButWritesZeroInTheComplexMatrix) {
  MemoryWorkbook wb;
  ModelState s = DistinctState("A");
  s.ConstantTable[2].ConditionalK = 0.0;  // C6
  s.ConstantTable[6].ConditionalK = 0.0;  // G6
  s.ConstantTable[9].ConditionalK = 0.0;  // k = 0, j = 3: L13
  s.ConstantTable[24].ConditionalK = 0.0; // k = 4, j = 2: K17
  wb.Sheet(3).Put(6, 3, CellValue::Text("kept"));
  wb.Sheet(3).Put(13, 12, CellValue::Number(99));
  WriteSampleReport(s, wb);
  EXPECT_TRUE(wb.Sheet(3).Value(6, 3).EqualsText("kept"));
  EXPECT_TRUE(wb.Sheet(3).Value(6, 7).IsEmpty());
  EXPECT_EQ(Number(wb, 3, 13, 12), 0.0);
  EXPECT_EQ(Number(wb, 3, 17, 11), 0.0);
  // ConditionalK 10 elsewhere: ln 10 * 0.434294481 = 1 - 2.0798e-9.
  EXPECT_NEAR(Number(wb, 3, 6, 2), 1.0 - 2.0798e-9, 1e-12);
  EXPECT_NEAR(Number(wb, 3, 17, 10), 1.0 - 2.0798e-9, 1e-12);
  EXPECT_EQ(wb.Sheet(3).Writes().size(), 28u);
  // The log K cells the parameters come from are never written.
  for (const auto& [row, column] : wb.Sheet(3).Writes()) {
    EXPECT_FALSE(row == 5 && column >= 2 && column <= 7);
    EXPECT_FALSE(row >= 13 && row <= 18 && column >= 3 && column <= 6);
  }
}

TEST(SampleReport, ZeroConcentrationsAreWrittenAsZero) {
  MemoryWorkbook wb;
  ModelState s = DistinctState("B");
  s.SpeciesTable[11].TotalConc = 0.0;
  s.ComplexTable[13].FreeConc = 0.0;
  WriteSampleReport(s, wb);
  EXPECT_EQ(Number(wb, 1, 5, 13), 0.0); // M5
  EXPECT_EQ(Number(wb, 1, 19, 5), 0.0); // E19: Na with sulfate
}

} // namespace
} // namespace vontralek
