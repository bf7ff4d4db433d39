#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "TestWorkbooks.h"
#include "model/ParameterLoading.h"
#include "run/Run.h"
#include "speciation/Speciation.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek {
namespace {

using workbook::CellValue;
using workbook::MemoryWorkbook;
using Format = workbook::MemoryWorksheet::Format;

// One water analysis as the workbook holds it: the carbonate pair (pH or pCO2
// and alkalinity meq/L, or carbonate and bicarbonate mmol/L) and the seven
// ions Na, K, Ca, Mg, Cl, NO3, SO4 in mmol/L.
struct Analysis {
  double first, second;
  std::array<double, 7> ions;
};

// From data/example-waters.csv: Sierra Nevada spring, Madison recharge water,
// seawater.
const Analysis kSpring{6.8, 0.895, {0.259, 0.04, 0.26, 0.071, 0.03, 0, 0.025}};
const Analysis kRecharge{7.55, 4.07674, {0.0199395, 0.0199395, 1.19637, 1.00695, 0.0199395, 0, 0.159516}};
const Analysis kSeawater{8.22, 2.37541, {479.15, 10.4425, 10.5241, 54.372, 558.433, 0.004785, 28.8817}};

class WorkbookWeightedSum : public WeightedSumSource {
public:
  explicit WorkbookWeightedSum(workbook::Workbook& wb) : wb_(wb) {}
  void LoadWeightedSumParameters(ModelState& s) override { ::vontralek::LoadWeightedSumParameters(s, wb_); }

private:
  workbook::Workbook& wb_;
};

// Records what the progress window would show, and a few state values at the
// moment of each update (before the sample is read).
class RecordingProgress : public ProgressListener {
public:
  explicit RecordingProgress(const ModelState& state) : state_(state) {}
  void OnProgress(const ProgressUpdate& update) override {
    updates.push_back(update);
    alkalinity.push_back(state_.Alkalinity);
    ph.push_back(state_.PH);
  }
  std::vector<ProgressUpdate> updates;
  std::vector<double> alkalinity, ph;

private:
  const ModelState& state_;
};

class RunCalculationTest : public ::testing::Test {
protected:
  void SetUp() override { testing::FillDefaultParameters(wb); }

  // The reference: a state prepared directly (not through the run's reading
  // of the sheet), with the sample's inputs converted by hand: pH and pCO2 as
  // entered, meq/L and mmol/L divided by 1000.
  ModelState ReferenceStart(const std::string& sheetMode, const std::string& pair) {
    ModelState r;
    r.SheetMode = sheetMode;
    r.InputPair = pair;
    ComputeMachineEpsilon(r);
    LoadParameterTables(r, wb);
    return r;
  }
  void ReferenceSolve(ModelState& r, const Analysis& a, std::array<bool, 7> notDetermined = {}) {
    if (r.InputPair == "A") {
      r.PH = a.first;
      r.Alkalinity = a.second / 1000;
    } else if (r.InputPair == "B") {
      r.PCO2 = a.first;
      r.Alkalinity = a.second / 1000;
    } else if (r.InputPair == "C") {
      r.SpeciesTable[11].TotalConc = a.first / 1000;
      r.SpeciesTable[10].TotalConc = a.second / 1000;
    }
    for (int n = 3; n <= 9; ++n) {
      r.SpeciesTable[n].TotalConc = notDetermined[n - 3] ? 0.0 : a.ions[n - 3] / 1000;
    }
    WorkbookWeightedSum source(wb);
    SolveSpeciation(r, source);
  }

  void PutMainSample(const Analysis& a) {
    auto& main = wb.Sheet(1);
    main.Put(5, 1, CellValue::Number(a.first));
    main.Put(5, 2, CellValue::Number(a.second));
    for (int n = 3; n <= 9; ++n) main.Put(5, n, CellValue::Number(a.ions[n - 3]));
  }
  void PutBatchSample(int row, const Analysis& a, CellValue marker = CellValue::Text("sample")) {
    auto& batch = wb.Sheet(2);
    batch.Put(row, 1, marker);
    batch.Put(row, 2, CellValue::Number(a.first));
    batch.Put(row, 3, CellValue::Number(a.second));
    for (int n = 3; n <= 9; ++n) batch.Put(row, n + 1, CellValue::Number(a.ions[n - 3]));
  }

  double Num(int sheet, int row, int column) {
    const CellValue v = wb.Sheet(sheet).Value(row, column);
    EXPECT_EQ(v.kind, CellValue::Kind::Number) << "sheet " << sheet << " " << workbook::CellAddress(row, column);
    return v.number;
  }

  // The batch row layout: K weighted sum, L pCO2, M and N ionic strengths
  // mmol/L, O and P log IAP of CaSO4 and CaCO3, Q and R the SARs, S pH,
  // T:AE gammas, AF:AQ log activities, AR:BC free mmol/L, BD:CA complexes mmol/L.
  void ExpectBatchRow(int row, const ModelState& r) {
    SCOPED_TRACE("batch row " + std::to_string(row));
    auto logCell = [&](int column, bool defined, double value) {
      const CellValue v = wb.Sheet(2).Value(row, column);
      if (defined) {
        ASSERT_EQ(v.kind, CellValue::Kind::Number) << workbook::CellAddress(row, column);
        EXPECT_EQ(v.number, value) << workbook::CellAddress(row, column);
      } else {
        EXPECT_TRUE(v.EqualsText("nd")) << workbook::CellAddress(row, column);
      }
    };
    EXPECT_EQ(Num(2, row, 11), r.AuxTable[11].WeightedSum);
    EXPECT_EQ(Num(2, row, 12), r.PCO2);
    EXPECT_EQ(Num(2, row, 13), r.IonicStrength * 1000);
    EXPECT_EQ(Num(2, row, 14), r.InitialIonicStrength * 1000);
    logCell(15, r.LogIapCaSO4Defined, r.LogIapCaSO4);
    logCell(16, r.LogIapCaCO3Defined, r.LogIapCaCO3);
    EXPECT_EQ(Num(2, row, 17), r.Sar);
    EXPECT_EQ(Num(2, row, 18), r.SarActivity);
    EXPECT_EQ(Num(2, row, 19), r.PH);
    for (int i = 1; i <= 12; ++i) {
      EXPECT_EQ(Num(2, row, 19 + i), r.SpeciesTable[i].Gamma);
      logCell(31 + i, r.SpeciesTable[i].LogActivityDefined, r.SpeciesTable[i].LogActivity);
      EXPECT_EQ(Num(2, row, 43 + i), r.SpeciesTable[i].FreeConc * 1000);
    }
    for (int n = 1; n <= 24; ++n) EXPECT_EQ(Num(2, row, 55 + n), r.ComplexTable[n].FreeConc * 1000);
  }

  // The batch walk's counters after N samples.
  static void SetBatchCounters(ModelState& r, int n) {
    r.SampleRowCounter = n + 2;
    r.SampleCount = n;
    r.CurrentSample = n;
    r.SampleNumber = n;
    r.ProgressPercent = 100.0;
  }

  bool WrittenOutsideRows(int sheet, int firstRow, int lastRow) {
    for (const auto& [row, column] : wb.Sheet(sheet).Writes())
      if (row < firstRow || row > lastRow) return true;
    return false;
  }

  MemoryWorkbook wb;
};

// ---- The single sample of the Main sheet --------------------------------

TEST_F(RunCalculationTest, MainSheetWithAlkalinityAndPHReadsRowFiveAndReportsTheSolvedState) {
  PutMainSample(kSeawater);
  wb.Sheet(1).Put(5, 1, CellValue::Number(7.8));
  wb.Sheet(1).Put(5, 2, CellValue::Text("3.1")); // numeric text is converted
  wb.Sheet(1).Put(5, 8, CellValue::Empty());     // H5, ligand 2: empty gives 0
  ModelState s;
  s.SheetMode = "A";
  s.InputPair = "A";
  RunCalculation(s, wb, nullptr);

  EXPECT_EQ(s.PH, 7.8);
  EXPECT_EQ(s.SpeciesTable[8].TotalConc, 0.0);
  Analysis a = kSeawater;
  a.first = 7.8;
  a.second = 3.1;
  a.ions[5] = 0.0;
  ModelState r = ReferenceStart("A", "A");
  ReferenceSolve(r, a);
  EXPECT_EQ(r.Alkalinity, 3.1 / 1000);
  EXPECT_TRUE(s == r) << "the run's state differs from a solve of the same inputs";

  auto& main = wb.Sheet(1);
  EXPECT_TRUE(main.Value(4, 1).EqualsText("pH"));
  EXPECT_TRUE(main.Value(4, 2).EqualsText("Alk"));
  // Only P4's "2" is formatted: the headings pH and Alk carry none.
  EXPECT_EQ(main.Formats(), (std::vector<Format>{{4, 16, 4, 1, false}}));
  EXPECT_TRUE(main.Value(4, 16).EqualsText("pCO2"));
  EXPECT_EQ(Num(1, 5, 16), r.PCO2);                              // P5
  EXPECT_EQ(Num(1, 5, 17), r.AuxTable[11].WeightedSum);          // Q5
  EXPECT_EQ(Num(1, 5, 18), r.IonicStrength * 1000);              // R5
  EXPECT_EQ(Num(1, 5, 10), r.SpeciesTable[1].TotalConc * 1000);  // J5, H+
  EXPECT_EQ(Num(1, 5, 12), r.SpeciesTable[10].TotalConc * 1000); // L5, HCO3-
  EXPECT_EQ(Num(1, 5, 14), r.SpeciesTable[12].TotalConc * 1000); // N5, CO2
  EXPECT_EQ(Num(1, 9, 3), r.SpeciesTable[3].Gamma);              // C9, Na+
  EXPECT_EQ(Num(1, 9, 11), r.SpeciesTable[2].Gamma);             // K9, OH-
  EXPECT_EQ(Num(1, 15, 7), r.SpeciesTable[5].FreeConc * 1000);   // G15, Ca2+
  EXPECT_EQ(Num(1, 16, 4), r.SpeciesTable[2].FreeConc * 1000);   // D16, OH-
  EXPECT_EQ(Num(1, 21, 4), r.SpeciesTable[11].FreeConc * 1000);  // D21, CO3 2-
  EXPECT_EQ(Num(1, 19, 7), r.ComplexTable[15].FreeConc * 1000);  // G19, CaSO4
  EXPECT_EQ(Num(1, 21, 8), r.ComplexTable[24].FreeConc * 1000);  // H21, MgCO3
  // The input row is read, never written.
  EXPECT_TRUE(main.Value(5, 2).EqualsText("3.1"));
  for (const auto& [row, column] : main.Writes()) EXPECT_FALSE(row == 5 && column <= 9);
  // A single sample leaves the batch counters at 0.
  EXPECT_EQ(s.CurrentSample, 0);
  EXPECT_EQ(s.ProgressPercent, 0.0);
}

TEST_F(RunCalculationTest, MainSheetWithAlkalinityAndPCO2KeepsThePressureAsEntered) {
  PutMainSample(kRecharge);
  wb.Sheet(1).Put(5, 1, CellValue::Number(0.00316));
  ModelState s;
  s.SheetMode = "A";
  s.InputPair = "B";
  RunCalculation(s, wb, nullptr);
  EXPECT_EQ(s.PCO2, 0.00316);
  Analysis a = kRecharge;
  a.first = 0.00316;
  ModelState r = ReferenceStart("A", "B");
  ReferenceSolve(r, a);
  EXPECT_TRUE(s == r);

  auto& main = wb.Sheet(1);
  EXPECT_TRUE(main.Value(4, 1).EqualsText("pCO2"));
  EXPECT_TRUE(main.Value(4, 2).EqualsText("Alk"));
  EXPECT_TRUE(main.Value(4, 16).EqualsText("pH"));
  EXPECT_EQ(Num(1, 5, 16), r.PH);
  // The 2 of pCO2 in A4 is lowered; P4 "pH" carries nothing.
  EXPECT_EQ(main.Formats(), (std::vector<Format>{{4, 1, 4, 1, false}}));
}

TEST_F(RunCalculationTest, MainSheetWithBicarbonateAndCarbonateReadsThemAsTotals) {
  PutMainSample(kSpring);
  wb.Sheet(1).Put(5, 1, CellValue::Number(0.5)); // carbonate mmol/L
  wb.Sheet(1).Put(5, 2, CellValue::Number(4.2)); // bicarbonate mmol/L
  ModelState s;
  s.SheetMode = "A";
  s.InputPair = "C";
  RunCalculation(s, wb, nullptr);
  EXPECT_EQ(s.SpeciesTable[11].TotalConc, 0.5 / 1000);
  EXPECT_EQ(s.SpeciesTable[10].TotalConc, 4.2 / 1000);
  EXPECT_EQ(s.Alkalinity, 0.0);
  Analysis a = kSpring;
  a.first = 0.5;
  a.second = 4.2;
  ModelState r = ReferenceStart("A", "C");
  ReferenceSolve(r, a);
  EXPECT_TRUE(s == r);

  auto& main = wb.Sheet(1);
  EXPECT_TRUE(main.Value(4, 1).EqualsText("[CO32-]"));
  EXPECT_TRUE(main.Value(4, 2).EqualsText("[HCO3-]"));
  // [CO32-]: the 3 (character 4) lowered, "2-" (5 and 6) raised; [HCO3-]: the
  // 3 (character 5) lowered, "-" (6) raised.
  EXPECT_EQ(main.Formats(),
            (std::vector<Format>{{4, 1, 4, 1, false}, {4, 1, 5, 2, true}, {4, 2, 5, 1, false}, {4, 2, 6, 1, true}}));
  // L5 and M5 echo the given totals: /1000 on reading, *1000 on writing.
  EXPECT_EQ(Num(1, 5, 12), 4.2 / 1000 * 1000);
  EXPECT_EQ(Num(1, 5, 13), 0.5 / 1000 * 1000);
  EXPECT_TRUE(main.Value(4, 16).EqualsText("pH"));
  EXPECT_EQ(Num(1, 5, 16), r.PH);
}

TEST_F(RunCalculationTest, MainSheetWritesTheConditionalConstantsBesideTheirLogK) {
  PutMainSample(kSeawater);
  // Gypsum's constant left out: its conditional constant is 0, so G6 keeps
  // what it held.
  wb.Sheet(3).Put(5, 7, CellValue::Empty());
  wb.Sheet(3).Put(6, 7, CellValue::Text("previous"));
  ModelState s;
  s.SheetMode = "A";
  s.InputPair = "A";
  RunCalculation(s, wb, nullptr);
  auto& constants = wb.Sheet(3);
  EXPECT_TRUE(constants.Value(6, 7).EqualsText("previous"));
  // B6:F6 for constants 1 to 5: within the report's 9-decimal factor of log10.
  for (int i = 1; i <= 5; ++i) {
    ASSERT_GT(s.ConstantTable[i].ConditionalK, 0.0);
    EXPECT_NEAR(Num(3, 6, i + 1), std::log10(s.ConstantTable[i].ConditionalK), 1e-7) << i;
  }
  // Absent complexes (log K 0 in the data set) show 0: NaOH (J13), KOH (K13),
  // NaCl (J14); CaSO4 (row 16, Ca column L) is present: its constant referred
  // to concentrations, K * g(Ca) * g(SO4) / g(CaSO4), lies below the log K 2.3
  // because seawater's divalent ions have coefficients well below 1.
  EXPECT_EQ(Num(3, 13, 10), 0.0);
  EXPECT_EQ(Num(3, 13, 11), 0.0);
  EXPECT_EQ(Num(3, 14, 10), 0.0);
  EXPECT_NEAR(Num(3, 16, 12), std::log10(s.ConstantTable[21].ConditionalK), 1e-7);
  EXPECT_LT(Num(3, 16, 12), 2.3);
  EXPECT_GT(Num(3, 16, 12), 0.0);
  // 5 of B6:G6 and all 24 of J13:M18.
  EXPECT_EQ(constants.Writes().size(), 29u);
  // The log K cells are not written.
  EXPECT_EQ(constants.Value(5, 2).number, testing::DefaultLogK()[0]);
}

TEST_F(RunCalculationTest, MainSheetRejectsNdAfterWritingTheHeadings) {
  PutMainSample(kSpring);
  wb.Sheet(1).Put(5, 5, CellValue::Text("nd")); // E5, calcium
  ModelState s;
  s.SheetMode = "A";
  s.InputPair = "A";
  try {
    RunCalculation(s, wb, nullptr);
    FAIL() << "nd on the Main sheet must stop the run";
  } catch (const RunError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("Main sheet"), std::string::npos) << message;
    EXPECT_NE(message.find("E5"), std::string::npos) << message;
    EXPECT_NE(message.find("\"nd\""), std::string::npos) << message;
    EXPECT_NE(message.find("not calculated"), std::string::npos) << message;
  }
  EXPECT_EQ(wb.Sheet(1).Writes(), (std::vector<std::pair<int, int>>{{4, 1}, {4, 2}}));
  EXPECT_TRUE(wb.Sheet(3).Writes().empty());
  EXPECT_EQ(s.IonicStrength, 0.0); // the solver never ran
}

TEST_F(RunCalculationTest, NoVariablePairIsADivisionByZeroThatWritesNothing) {
  PutMainSample(kSpring);
  ModelState s;
  s.SheetMode = "A";
  s.InputPair = "";
  try {
    RunCalculation(s, wb, nullptr);
    FAIL() << "without a pair the hydrogen ion stays 0";
  } catch (const RunError& e) {
    EXPECT_NE(std::string(e.what()).find("No pair of carbonate-system variables"), std::string::npos) << e.what();
  }
  for (int sheet = 1; sheet <= 4; ++sheet) EXPECT_TRUE(wb.Sheet(sheet).Writes().empty()) << sheet;
  // The ions were read before the solve.
  EXPECT_EQ(s.SpeciesTable[3].TotalConc, 0.259 / 1000);
}

TEST_F(RunCalculationTest, AMissingParameterSheetStopsBeforeAnySample) {
  MemoryWorkbook three(3);
  ModelState s;
  s.SheetMode = "B";
  s.InputPair = "A";
  try {
    RunCalculation(s, three, nullptr);
    FAIL();
  } catch (const RunError& e) {
    EXPECT_NE(std::string(e.what()).find("worksheet 4"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("No sample was calculated"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(three.Sheet(2).Writes().empty());
}

// ---- The Batch sheet ------------------------------------------------------

TEST_F(RunCalculationTest, BatchWithAnEmptyA2WritesOnlyTheHeadings) {
  wb.Sheet(2).Put(3, 1, CellValue::Text("below the gap"));
  PutBatchSample(3, kSpring);
  ModelState s;
  s.SheetMode = "B";
  s.InputPair = "A";
  RecordingProgress progress(s);
  RunCalculation(s, wb, &progress);
  EXPECT_TRUE(progress.updates.empty());
  EXPECT_EQ(s.SampleCount, 0.0);
  EXPECT_EQ(wb.Sheet(2).Writes(), (std::vector<std::pair<int, int>>{{1, 2}, {1, 3}}));
  EXPECT_TRUE(wb.Sheet(2).Value(1, 2).EqualsText("pH"));
  EXPECT_TRUE(wb.Sheet(2).Value(1, 3).EqualsText("Alk/meq/L"));
  EXPECT_TRUE(wb.Sheet(2).Formats().empty());
}

TEST_F(RunCalculationTest, BatchStopsAtTheFirstEmptyMarkerAndShowsProgressBeforeEachSample) {
  // Markers: a text, a 0 and an empty text all count; A5 holds nothing.
  PutBatchSample(2, kSpring, CellValue::Text("SN2"));
  PutBatchSample(3, kRecharge, CellValue::Number(0));
  PutBatchSample(4, kSeawater, CellValue::Text(""));
  PutBatchSample(6, kSpring);
  wb.Sheet(2).Put(5, 1, CellValue::Empty());
  ModelState s;
  s.SheetMode = "B";
  s.InputPair = "A";
  RecordingProgress progress(s);
  RunCalculation(s, wb, &progress);

  ASSERT_EQ(progress.updates.size(), 3u);
  EXPECT_EQ(progress.updates[0].percent, 100.0 / 3);
  EXPECT_EQ(progress.updates[1].percent, 200.0 / 3);
  EXPECT_EQ(progress.updates[2].percent, 100.0);
  EXPECT_EQ(progress.updates[2].caption, "100% finishing");
  // Each update comes before its sample is read: the state still holds the
  // previous sample's pH.
  EXPECT_EQ(progress.ph, (std::vector<double>{0.0, kSpring.first, kRecharge.first}));

  ModelState r = ReferenceStart("B", "A");
  ReferenceSolve(r, kSpring);
  ExpectBatchRow(2, r);
  ReferenceSolve(r, kRecharge);
  ExpectBatchRow(3, r);
  ReferenceSolve(r, kSeawater);
  ExpectBatchRow(4, r);
  SetBatchCounters(r, 3);
  EXPECT_TRUE(s == r) << "samples share the state: the run must carry it like the reference";

  EXPECT_FALSE(WrittenOutsideRows(2, 1, 4));
  for (const auto& [row, column] : wb.Sheet(2).Writes()) EXPECT_TRUE(row == 1 || column >= 11);
  EXPECT_TRUE(wb.Sheet(1).Writes().empty());
  EXPECT_TRUE(wb.Sheet(3).Writes().empty());
}

TEST_F(RunCalculationTest, NdIonsCountAsZeroForTheirSampleOnlyAndTheirLogarithmsReadNd) {
  PutBatchSample(2, kSeawater);
  PutBatchSample(3, kSeawater);
  PutBatchSample(4, kRecharge);
  wb.Sheet(2).Put(3, 5, CellValue::Text("nd"));  // E3: cation 2 (row 4)
  wb.Sheet(2).Put(3, 8, CellValue::Text("nd"));  // H3: ligand 1 (row 7)
  wb.Sheet(2).Put(4, 10, CellValue::Text("nd")); // J4: sulfate (row 9)
  ModelState s;
  s.SheetMode = "B";
  s.InputPair = "A";
  RunCalculation(s, wb, nullptr);

  ModelState r = ReferenceStart("B", "A");
  ReferenceSolve(r, kSeawater);
  ExpectBatchRow(2, r);
  ReferenceSolve(r, kSeawater, {false, true, false, false, true, false, false});
  EXPECT_EQ(r.SpeciesTable[4].TotalConc, 0.0);
  ExpectBatchRow(3, r);
  ReferenceSolve(r, kRecharge, {false, false, false, false, false, false, true});
  ExpectBatchRow(4, r);
  SetBatchCounters(r, 3);
  EXPECT_TRUE(s == r);

  // Independently of the model's flags: the species without a total show
  // "nd", never the number the previous sample left. Row 3: log activity of
  // cation 2 (AI) and ligand 1 (AL); row 4: sulfate (AN) and the CaSO4
  // product (O), while CaCO3 (P) stays a number.
  EXPECT_TRUE(wb.Sheet(2).Value(3, 35).EqualsText("nd"));
  EXPECT_TRUE(wb.Sheet(2).Value(3, 38).EqualsText("nd"));
  EXPECT_EQ(wb.Sheet(2).Value(4, 35).kind, CellValue::Kind::Number); // cation 2 is back
  EXPECT_TRUE(wb.Sheet(2).Value(4, 40).EqualsText("nd"));
  EXPECT_TRUE(wb.Sheet(2).Value(4, 15).EqualsText("nd"));
  EXPECT_EQ(wb.Sheet(2).Value(4, 16).kind, CellValue::Kind::Number);
  // The free concentration of an undetermined ion is 0 (AU: row 4 free).
  EXPECT_EQ(Num(2, 3, 47), 0.0);
}

TEST_F(RunCalculationTest, UpperCaseNdStopsTheBatchAfterTheEarlierRowsWereWritten) {
  // Only the exact text "nd" marks an ion as not determined.
  for (const std::string text : {"ND", "<0.1", " nd ", "n.d."}) {
    SCOPED_TRACE("F4 holds \"" + text + "\"");
    wb = MemoryWorkbook();
    testing::FillDefaultParameters(wb);
    PutBatchSample(2, kSpring);
    PutBatchSample(3, kRecharge);
    PutBatchSample(4, kSeawater);
    PutBatchSample(5, kSpring);
    wb.Sheet(2).Put(4, 6, CellValue::Text(text)); // F4: calcium of sample 3
    ModelState s;
    s.SheetMode = "B";
    s.InputPair = "A";
    RecordingProgress progress(s);
    try {
      RunCalculation(s, wb, &progress);
      ADD_FAILURE() << "the run must stop at F4";
    } catch (const RunError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("Batch sample 3 (row 4"), std::string::npos) << message;
      EXPECT_NE(message.find("F4"), std::string::npos) << message;
      EXPECT_NE(message.find("\"" + text + "\""), std::string::npos) << message;
      EXPECT_NE(message.find("Samples 1 to 2 (rows 2 to 3) were calculated"), std::string::npos) << message;
      EXPECT_NE(message.find("samples 3 to 4 (rows 4 to 5) were not"), std::string::npos) << message;
    }
    EXPECT_EQ(progress.updates.size(), 3u);
    ModelState r = ReferenceStart("B", "A");
    ReferenceSolve(r, kSpring);
    ExpectBatchRow(2, r);
    ReferenceSolve(r, kRecharge);
    ExpectBatchRow(3, r);
    EXPECT_FALSE(WrittenOutsideRows(2, 1, 3));
  }
}

TEST_F(RunCalculationTest, BatchWithBicarbonateAndCarbonateNeverSetsTheAlkalinity) {
  PutBatchSample(2, {0.01, 0.9, kSpring.ions});
  PutBatchSample(3, {0.05, 4.0, kRecharge.ions});
  ModelState s;
  s.SheetMode = "B";
  s.InputPair = "C";
  RecordingProgress progress(s);
  RunCalculation(s, wb, &progress);
  EXPECT_EQ(progress.alkalinity, (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(s.Alkalinity, 0.0);

  auto& batch = wb.Sheet(2);
  EXPECT_TRUE(batch.Value(1, 2).EqualsText("[CO32-]/mmol/L"));
  EXPECT_TRUE(batch.Value(1, 3).EqualsText("[HCO3-]/mmol/L"));
  EXPECT_EQ(batch.Formats(),
            (std::vector<Format>{{1, 2, 4, 1, false}, {1, 2, 5, 2, true}, {1, 3, 5, 1, false}, {1, 3, 6, 1, true}}));
  ModelState r = ReferenceStart("B", "C");
  ReferenceSolve(r, {0.01, 0.9, kSpring.ions});
  ExpectBatchRow(2, r);
  ReferenceSolve(r, {0.05, 4.0, kRecharge.ions});
  ExpectBatchRow(3, r);
  SetBatchCounters(r, 2);
  EXPECT_TRUE(s == r);
}

TEST_F(RunCalculationTest, BatchWithAlkalinityAndPCO2EchoesThePressure) {
  PutBatchSample(2, {0.00316, kRecharge.second, kRecharge.ions});
  ModelState s;
  s.SheetMode = "B";
  s.InputPair = "B";
  RunCalculation(s, wb, nullptr);
  EXPECT_TRUE(wb.Sheet(2).Value(1, 2).EqualsText("pCO2"));
  EXPECT_TRUE(wb.Sheet(2).Value(1, 3).EqualsText("Alk/meq/L"));
  EXPECT_EQ(wb.Sheet(2).Formats(), (std::vector<Format>{{1, 2, 4, 1, false}}));
  EXPECT_EQ(Num(2, 2, 12), 0.00316); // L2: pCO2 as entered
  ModelState r = ReferenceStart("B", "B");
  ReferenceSolve(r, {0.00316, kRecharge.second, kRecharge.ions});
  ExpectBatchRow(2, r);
}

TEST_F(RunCalculationTest, BatchProgressCaptionsForOneFourAndEightSamples) {
  for (int n : {1, 4, 8}) {
    MemoryWorkbook fresh;
    testing::FillDefaultParameters(fresh);
    for (int k = 1; k <= n; ++k) {
      fresh.Sheet(2).Put(k + 1, 1, CellValue::Number(k));
      fresh.Sheet(2).Put(k + 1, 2, CellValue::Number(7.5));
      fresh.Sheet(2).Put(k + 1, 3, CellValue::Number(2.0));
      fresh.Sheet(2).Put(k + 1, 6, CellValue::Number(1.0)); // F: calcium
    }
    ModelState s;
    s.SheetMode = "B";
    s.InputPair = "A";
    RecordingProgress progress(s);
    RunCalculation(s, fresh, &progress);
    std::vector<std::string> captions;
    for (const auto& u : progress.updates) captions.push_back(u.caption);
    if (n == 1) {
      ASSERT_EQ(progress.updates.size(), 1u);
      EXPECT_EQ(progress.updates[0].caption, "100% finishing");
      EXPECT_EQ(progress.updates[0].barWidth, 5175.0F);
    } else if (n == 4) {
      EXPECT_EQ(captions,
                (std::vector<std::string>{"25% completed", "50% completed", "75% completed", "100% finishing"}));
      EXPECT_EQ(progress.updates[0].barWidth, 1293.75F);
      EXPECT_EQ(progress.updates[2].barWidth, 3881.25F);
    } else {
      EXPECT_EQ(captions,
                (std::vector<std::string>{"12% completed", "25% completed", "38% completed", "50% completed",
                                          "62% completed", "75% completed", "88% completed", "100% finishing"}));
    }
  }
}

TEST_F(RunCalculationTest, AnUnknownSheetModeLoadsTheParametersAndProcessesNothing) {
  PutMainSample(kSpring);
  PutBatchSample(2, kSpring);
  ModelState s;
  s.SheetMode = "a"; // codes are compared exactly
  s.InputPair = "A";
  RunCalculation(s, wb, nullptr);
  EXPECT_EQ(s.ConstantTable[3].LogK, testing::DefaultLogK()[2]);
  EXPECT_EQ(s.MachineEpsilon, 1.1102230246251565e-16); // 2^-53
  for (int sheet = 1; sheet <= 4; ++sheet) EXPECT_TRUE(wb.Sheet(sheet).Writes().empty());
}

// A Batch sheet of many identical samples that stores nothing but the cells
// of its last row, so that a batch beyond 32,767 rows fits in a test.
class LongBatchSheet : public workbook::Worksheet {
public:
  explicit LongBatchSheet(std::int64_t samples) : samples_(samples) {}
  std::string Name() const override { return "Batch"; }
  int Number() const override { return 2; }
  CellValue Value(int row, int column) const override {
    if (row < 2 || row > samples_ + 1) return CellValue::Empty();
    switch (column) {
    case 1:
      return CellValue::Number(row);
    case 2:
      return CellValue::Number(7.5); // pH
    case 3:
      return CellValue::Number(2.0); // alkalinity meq/L
    case 4:
      return CellValue::Number(1.0); // Na
    case 6:
      return CellValue::Number(1.0); // Ca
    case 8:
      return CellValue::Number(2.0); // Cl
    default:
      return CellValue::Empty();
    }
  }
  void SetNumber(int row, int column, double value) override { Record(row, column, CellValue::Number(value)); }
  void SetText(int row, int column, std::string_view text) override {
    Record(row, column, CellValue::Text(std::string(text)));
  }
  void SetSubscript(int, int, int, int) override {}
  void SetSuperscript(int, int, int, int) override {}

  std::int64_t writes = 0;
  int lastRow = 0;
  std::map<int, CellValue> lastRowCells;

private:
  void Record(int row, int column, CellValue value) {
    ++writes;
    if (row != lastRow) lastRowCells.clear();
    lastRow = row;
    lastRowCells[column] = std::move(value);
  }
  std::int64_t samples_;
};

class LongBatchWorkbook : public workbook::Workbook {
public:
  explicit LongBatchWorkbook(std::int64_t samples) : batch(samples) { testing::FillDefaultParameters(parameters); }
  workbook::Worksheet& Worksheets(int number) override {
    return number == 2 ? static_cast<workbook::Worksheet&>(batch) : parameters.Worksheets(number);
  }
  int WorksheetCount() const override { return 4; }
  void Activate(int) override {}
  void Save() override {}
  void SaveAs(const std::filesystem::path&) override {}
  std::filesystem::path Path() const override { return "long.xlsx"; }

  LongBatchSheet batch;
  MemoryWorkbook parameters;
};

TEST(LongBatch, RunsPastThirtyTwoThousandSevenHundredSixtySevenRows) {
  // 32,770 samples: row 32,771 is beyond a 16-bit counter.
  constexpr std::int64_t n = 32770;
  LongBatchWorkbook wb(n);
  ModelState s;
  s.SheetMode = "B";
  s.InputPair = "A";
  RunSummary summary;
  RunCalculation(s, wb, nullptr, &summary);
  EXPECT_EQ(summary.samplesDone, n);
  EXPECT_EQ(s.CurrentSample, n);
  EXPECT_EQ(s.SampleRowCounter, n + 2);
  EXPECT_EQ(wb.batch.lastRow, n + 1);
  EXPECT_EQ(wb.batch.writes, 2 + 69 * n); // two headings, 69 results per sample
  ASSERT_EQ(wb.batch.lastRowCells.size(), 69u);
  EXPECT_EQ(wb.batch.lastRowCells.at(19).number, 7.5); // S: the pH as given
}

} // namespace
} // namespace vontralek
