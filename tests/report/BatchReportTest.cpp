#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/Errors.h"
#include "report/BatchReport.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek {
namespace {

using workbook::CellValue;
using workbook::MemoryWorkbook;

ModelState DistinctState() {
  ModelState s;
  for (int i = 1; i <= 12; ++i) {
    s.SpeciesTable[i].Gamma = 0.5 + i / 100.0;
    s.SpeciesTable[i].LogActivity = -1.0 - i / 10.0;
    s.SpeciesTable[i].LogActivityDefined = true;
    s.SpeciesTable[i].FreeConc = 0.0001 * i;
  }
  for (int n = 1; n <= 24; ++n) s.ComplexTable[n].FreeConc = 0.00001 * n;
  s.AuxTable[11].WeightedSum = 2.5;
  s.PCO2 = 0.00035;
  s.IonicStrength = 0.0123;
  s.InitialIonicStrength = 0.0111;
  s.LogIapCaSO4 = -5.5;
  s.LogIapCaSO4Defined = true;
  s.LogIapCaCO3 = -8.25;
  s.LogIapCaCO3Defined = true;
  s.Sar = 3.5;
  s.SarActivity = 2.75;
  s.PH = 7.9;
  s.CurrentSample = 3;
  return s;
}

// The column letters of the batch layout, from the report's table.
int Column(const std::string& letters) {
  int c = 0;
  for (char ch : letters) c = c * 26 + (ch - 'A' + 1);
  return c;
}

double At(MemoryWorkbook& wb, int row, const std::string& column) {
  const CellValue v = wb.Sheet(2).Value(row, Column(column));
  EXPECT_EQ(v.kind, CellValue::Kind::Number) << column << row;
  return v.number;
}

TEST(BatchReport, WritesTheSixtyNineResultsIntoColumnsKToCAOfTheSampleRow) {
  MemoryWorkbook wb;
  const ModelState s = DistinctState();
  WriteBatchRow(s, wb);
  const int r = 4; // sample 3 sits under the heading row and samples 1, 2
  EXPECT_EQ(At(wb, r, "K"), 2.5);
  EXPECT_EQ(At(wb, r, "L"), 0.00035);
  EXPECT_EQ(At(wb, r, "M"), 0.0123 * 1000);
  EXPECT_EQ(At(wb, r, "N"), 0.0111 * 1000);
  EXPECT_EQ(At(wb, r, "O"), -5.5);
  EXPECT_EQ(At(wb, r, "P"), -8.25);
  EXPECT_EQ(At(wb, r, "Q"), 3.5);
  EXPECT_EQ(At(wb, r, "R"), 2.75);
  EXPECT_EQ(At(wb, r, "S"), 7.9);
  // Gamma T:AE, LogActivity AF:AQ, FreeConc AR:BC for species 1 (H+) and 12 (CO2).
  EXPECT_EQ(At(wb, r, "T"), s.SpeciesTable[1].Gamma);
  EXPECT_EQ(At(wb, r, "AE"), s.SpeciesTable[12].Gamma);
  EXPECT_EQ(At(wb, r, "AF"), s.SpeciesTable[1].LogActivity);
  EXPECT_EQ(At(wb, r, "AQ"), s.SpeciesTable[12].LogActivity);
  EXPECT_EQ(At(wb, r, "AR"), s.SpeciesTable[1].FreeConc * 1000);
  EXPECT_EQ(At(wb, r, "BC"), s.SpeciesTable[12].FreeConc * 1000);
  EXPECT_EQ(At(wb, r, "X"), s.SpeciesTable[5].Gamma);             // calcium
  EXPECT_EQ(At(wb, r, "AN"), s.SpeciesTable[9].LogActivity);      // sulfate
  EXPECT_EQ(At(wb, r, "BA"), s.SpeciesTable[10].FreeConc * 1000); // bicarbonate
  // Complexes BD:CA in table order.
  EXPECT_EQ(At(wb, r, "BD"), s.ComplexTable[1].FreeConc * 1000);
  EXPECT_EQ(At(wb, r, "BQ"), s.ComplexTable[14].FreeConc * 1000);
  EXPECT_EQ(At(wb, r, "CA"), s.ComplexTable[24].FreeConc * 1000);

  // 69 writes, all on row 4, columns K (11) to CA (79), each once.
  const auto& writes = wb.Sheet(2).Writes();
  EXPECT_EQ(writes.size(), 69u);
  std::set<int> columns;
  for (const auto& [row, column] : writes) {
    EXPECT_EQ(row, r);
    columns.insert(column);
  }
  EXPECT_EQ(columns.size(), 69u);
  EXPECT_EQ(*columns.begin(), Column("K"));
  EXPECT_EQ(*columns.rbegin(), Column("CA"));
  for (int sheet : {1, 3, 4}) EXPECT_TRUE(wb.Sheet(sheet).Writes().empty());
}

TEST(BatchReport, SampleOneGoesToRowTwoAndNeverTouchesTheInputs) {
  MemoryWorkbook wb;
  for (int column = 1; column <= 10; ++column) wb.Sheet(2).Put(2, column, CellValue::Text("input"));
  ModelState s = DistinctState();
  s.CurrentSample = 1;
  WriteBatchRow(s, wb);
  for (const auto& [row, column] : wb.Sheet(2).Writes()) {
    EXPECT_EQ(row, 2);
    EXPECT_GE(column, 11);
  }
  for (int column = 1; column <= 10; ++column) EXPECT_TRUE(wb.Sheet(2).Value(2, column).EqualsText("input"));
}

TEST(BatchReport, UndefinedLogarithmsAreWrittenAsNdNotAsStaleNumbers) {
  MemoryWorkbook wb;
  ModelState s = DistinctState();
  // Calcium not determined: its log activity and both products are undefined,
  // though the fields still hold an earlier sample's numbers.
  s.SpeciesTable[5].LogActivityDefined = false;
  s.LogIapCaSO4Defined = false;
  s.LogIapCaCO3Defined = false;
  WriteBatchRow(s, wb);
  EXPECT_TRUE(wb.Sheet(2).Value(4, Column("O")).EqualsText("nd"));
  EXPECT_TRUE(wb.Sheet(2).Value(4, Column("P")).EqualsText("nd"));
  EXPECT_TRUE(wb.Sheet(2).Value(4, Column("AJ")).EqualsText("nd")); // LogActivity of row 5
  // Its coefficient and free concentration stay numbers; its neighbours' logs too.
  EXPECT_EQ(At(wb, 4, "X"), s.SpeciesTable[5].Gamma);
  EXPECT_EQ(At(wb, 4, "AV"), s.SpeciesTable[5].FreeConc * 1000);
  EXPECT_EQ(At(wb, 4, "AI"), s.SpeciesTable[4].LogActivity);
  EXPECT_EQ(At(wb, 4, "AK"), s.SpeciesTable[6].LogActivity);
  EXPECT_EQ(wb.Sheet(2).Writes().size(), 69u);
}

TEST(BatchReport, RowsBeyondTheThirtyTwoThousandMarkAreReached) {
  MemoryWorkbook wb;
  ModelState s = DistinctState();
  s.CurrentSample = 1048575; // the last row a worksheet has
  WriteBatchRow(s, wb);
  EXPECT_EQ(wb.Sheet(2).Writes().front().first, 1048576);
  s.CurrentSample = 1048576;
  EXPECT_THROW(WriteBatchRow(s, wb), WorkbookError);
}

} // namespace
} // namespace vontralek
