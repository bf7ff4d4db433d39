#include "TestSupport.h"
#include "report/BatchReport.h"
#include "report/SampleReport.h"

namespace vontralek {
namespace {

using namespace testing;

// Every reported field holds a value of its own, so that a field in the wrong cell shows (in a solved state all
// monovalent ions share one coefficient). No pH: without a positive H+ total (pairs "B" and "C") it reads "nd".
ModelState DistinctState() {
  ModelState s;
  double* fields[] = {
      &s.PCO2,        &s.IonicStrength, &s.InitialIonicStrength, &s.LogIapCaCO3,
      &s.LogIapCaSO4, &s.Sar,           &s.SarActivity,          &s.AuxTable[WeightedSumRecord].WeightedSum};
  for (int f = 0; f < 8; ++f) *fields[f] = 7.25 + f;
  // Total, free, (next free, charge,) coefficient, log activity, (weight, change,) defined.
  for (int i = 1; i <= 12; ++i)
    s.SpeciesTable[i] = {0.001 * i, 0.0001 * i, 0, 0, 0.5 + i / 100.0, -1.0 - i / 10.0, 0, 0, true};
  for (int n = 1; n <= 24; ++n) s.ComplexTable[n].FreeConc = 0.00001 * n;
  s.LogIapCaCO3Defined = s.LogIapCaSO4Defined = true;
  std::tie(s.InputPair, s.CurrentSample) = std::tuple(CarbonatePair::AlkalinityPCO2, 6);
  return s;
}

TEST(SampleReport, EveryResultInItsOwnCellOfTheMainAndBatchSheets) {
  MemoryWorkbook wb;
  const ModelState s = DistinctState();
  WriteBatchRow(s, wb);
  ExpectWrittenExactly(wb.Sheet(2), BatchCells(s, 7)); // sample 6 on row 7, nothing else
  // A zero constant (2, 6, 9, 24) has no logarithm: C6 and G6 keep what they held, L13 and K17 of the complexes read 0.
  ModelState main = s;
  for (int n = 1; n <= 30; ++n) main.ConstantTable[n].ConditionalK = n % 2 == 1 ? 1000.0 : 1e-5;
  for (int n : {2, 6, 9, 24}) main.ConstantTable[n].ConditionalK = 0.0;
  wb.Sheet(3).Put(6, 3, Text("kept"));
  wb.Sheet(3).Put(13, 12, Num(99));
  WriteSampleReport(main, wb);
  ExpectWrittenExactly(wb.Sheet(1), MainCells(main)); // never the input row A5:I5
  ExpectCells(wb.Sheet(3), {{At("C6"), Text("kept")}, {At("G6"), {}}, {At("L13"), Num(0)}, {At("K17"), Num(0)}});
  EXPECT_EQ(wb.Sheet(3).Writes().size(), 28u); // 4 of B6:G6 and all 24 of J13:M18
}

} // namespace
} // namespace vontralek
