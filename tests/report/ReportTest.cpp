#include "TestSupport.h"
#include "report/SampleReport.h"

namespace vontralek {
namespace {

using namespace testing;

// Every reported field holds a value of its own, so that a field in the wrong
// cell shows (in a solved state all monovalent ions share one coefficient).
ModelState DistinctState() {
  ModelState s;
  double* fields[] = {&s.PH,
                      &s.PCO2,
                      &s.IonicStrength,
                      &s.InitialIonicStrength,
                      &s.LogIapCaCO3,
                      &s.LogIapCaSO4,
                      &s.Sar,
                      &s.SarActivity,
                      &s.AuxTable[WeightedSumRecord].WeightedSum};
  for (int f = 0; f < 9; ++f) *fields[f] = 7.25 + f;
  // Total, free, (next free, charge,) coefficient, log activity, (weight, change,) defined.
  for (int i = 1; i <= 12; ++i)
    s.SpeciesTable[i] = {0.001 * i, 0.0001 * i, 0, 0, 0.5 + i / 100.0, -1.0 - i / 10.0, 0, 0, true};
  for (int n = 1; n <= 24; ++n) s.ComplexTable[n].FreeConc = 0.00001 * n;
  s.LogIapCaCO3Defined = s.LogIapCaSO4Defined = s.PHDefined = true;
  s.InputPair = CarbonatePair::AlkalinityPH;
  return s;
}

TEST(SampleReport, WritesEveryMainSheetCellOnceAndTheLogarithmsWithTheNineDecimalFactor) {
  MemoryWorkbook wb;
  ModelState s = DistinctState();
  // ConditionalK 1000 (odd rows) and 1e-5 (even rows): log10 3 and -5. The
  // factor 0.434294481 falls short of 1/ln 10 = 0.4342944819032518 by
  // 9.032518e-10, so ln(1000) = 6.907755 gives 3 - 6.2394436e-9 and
  // ln(1e-5) = -11.512925 gives -5 + 1.0399073e-8 (hand calculation).
  const double odd = 3.0 - 6.2394436e-9, even = -5.0 + 1.0399073e-8;
  for (int n = 1; n <= 30; ++n) s.ConstantTable[n].ConditionalK = n % 2 == 1 ? 1000.0 : 1e-5;
  // A zero constant: C6 and G6 keep what they held, L13 and K17 read 0.
  for (int n : {2, 6, 9, 24}) s.ConstantTable[n].ConditionalK = 0.0;
  wb.Sheet(3).Put(6, 3, Text("kept"));
  wb.Sheet(3).Put(13, 12, Num(99));
  WriteSampleReport(s, wb);
  ExpectWrittenExactly(wb.Sheet(1), MainCells(s)); // never the input row A5:I5
  // Constants 1 to 6 in B6:G6; 7 to 30 row by row in J13:M18 (OH- with cations
  // 1 to 4 on row 13, then ligands 1 to 5 on rows 14 to 18).
  auto& sheet = wb.Sheet(3);
  ExpectCells(sheet, {{At("C6"), Text("kept")}, {At("G6"), {}}, {At("L13"), Num(0)}, {At("K17"), Num(0)}});
  const char* cells[] = {"B6",  "C6",  "D6",  "E6",  "F6",  "G6",  "J13", "K13", "L13", "M13",
                         "J14", "K14", "L14", "M14", "J15", "K15", "L15", "M15", "J16", "K16",
                         "L16", "M16", "J17", "K17", "L17", "M17", "J18", "K18", "L18", "M18"};
  for (int m = 1; m <= 30; ++m) {
    if (s.ConstantTable[m].ConditionalK == 0.0) continue; // above
    const auto [row, column] = At(cells[m - 1]);
    EXPECT_NEAR(sheet.Value(row, column).number, m % 2 ? odd : even, 1e-13) << cells[m - 1];
  }
  EXPECT_EQ(sheet.Writes().size(), 28u); // 4 of B6:G6 and all 24 of J13:M18
  // Pairs "B" and "C" report the pH; without a positive H+ total there is none.
  s.InputPair = CarbonatePair::AlkalinityPCO2;
  s.PHDefined = false;
  WriteSampleReport(s, wb);
  ExpectCells(wb.Sheet(1), {{At("P4"), Text("pH")}, {At("P5"), Text("nd")}});
}

} // namespace
} // namespace vontralek
