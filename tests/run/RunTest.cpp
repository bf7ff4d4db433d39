#include <gmock/gmock.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <fstream>

#include <fmt/format.h>
#include <optional>

#include "TestSupport.h"
#include "layout/ParameterLoading.h"
#include "run/Interruption.h"
#include "run/Run.h"
#include "run/TableRun.h"
#include "speciation/Speciation.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::HasSubstr;

TEST(ShowProgress, CaptionBeforeSampleKOfN) {
  // The stated cases: N = 1, 3, 4 and 8 (ties to the even percent), samples 1,
  // 199 and 200 of 200 (0.5 goes to 0; 99.5 rounds to 100 but is not exactly 100).
  const int k[] = {1, 1, 2, 3, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 1, 199, 200};
  const int n[] = {1, 3, 3, 3, 4, 4, 4, 4, 8, 8, 8, 8, 8, 8, 8, 8, 200, 200, 200};
  const char* captions[] = {"100% finishing", "33% completed", "67% completed",  "100% finishing", "25% completed",
                            "50% completed",  "75% completed", "100% finishing", "12% completed",  "25% completed",
                            "38% completed",  "50% completed", "62% completed",  "75% completed",  "88% completed",
                            "100% finishing", "0% completed",  "100% completed", "100% finishing"};
  for (int i = 0; i < 19; ++i) {
    const double percent = static_cast<double>(k[i]) * 100.0 / static_cast<double>(n[i]);
    EXPECT_EQ(ShowProgress(percent).caption, captions[i]) << k[i] << " of " << n[i];
  }
}

// The reference: a state fed each analysis converted by hand (pH and pCO2 as
// entered, meq/L and mmol/L / 1000, nd 0), not through the run's reading of
// the sheet, and solved with the weighted sum's start value 0 and scale 1.
struct Reference : WeightedSumSource {
  Reference(MemoryWorkbook& wb, DataSheet mode, CarbonatePair pair) {
    s.SheetMode = mode;
    s.InputPair = pair;
    ComputeMachineEpsilon(s);
    LoadParameterTables(s, wb);
  }
  void LoadWeightedSumParameters(ModelState& state) override { state.AuxTable[WeightedSumRecord] = {0.0, 1.0}; }
  const ModelState& Solve(const Analysis& a, std::array<bool, 7> nd = {}) {
    // Pair C gives the carbonate and bicarbonate totals, A and B the pH or pCO2 and the alkalinity.
    const bool c = s.InputPair == CarbonatePair::BicarbonateCarbonate;
    (c                                            ? s.SpeciesTable[11].TotalConc
     : s.InputPair == CarbonatePair::AlkalinityPH ? s.PH
                                                  : s.PCO2) = c ? a[0] / 1000 : a[0];
    (c ? s.SpeciesTable[10].TotalConc : s.Alkalinity) = a[1] / 1000;
    for (int n = 3; n <= 9; ++n) s.SpeciesTable[n].TotalConc = nd[n - 3] ? 0.0 : a[n - 1] / 1000;
    SolveSpeciation(s, *this);
    return s;
  }
  ModelState s;
};

// The run over an in-memory workbook, recording each progress update. A
// listener that does not look at the state lets a batch solve on a second core.
struct Calculation : ProgressListener {
  Calculation(MemoryWorkbook& wb, DataSheet mode, CarbonatePair pair, bool looksAtTheState = false)
      : looks(looksAtTheState) {
    s.SheetMode = mode;
    s.InputPair = pair;
    try {
      RunCalculation(s, wb, this);
    } catch (const RunError& e) {
      error = e.what();
    }
  }
  void OnProgress(const ProgressUpdate& update) override {
    percents.push_back(update.percent);
    samples.push_back({update.sample, update.sampleCount});
    alkalinity.push_back(looks ? s.Alkalinity : 0.0);
  }
  bool LooksAtTheState() const override { return looks; }
  bool looks;
  ModelState s;
  std::string error;
  std::vector<double> percents, alkalinity;
  std::vector<std::pair<std::int64_t, std::int64_t>> samples; // k of N
};

// Each pair with its headings (the 2 of pCO2; the 3 of [CO32-] and [HCO3-]
// lowered, "2-" and "-" raised: row, column, start, length, superscript) and
// three analyses.
struct PairCase {
  CarbonatePair pair;
  const char *a4, *b4, *b1, *c1;
  std::vector<workbook::MemoryWorksheet::Format> main, batch;
  std::array<Analysis, 3> samples;
};
// clang-format off
const PairCase kPairs[] = {
    {CarbonatePair::AlkalinityPH, "pH", "Alk", "pH", "Alk/meq/L", {{4, 16, 4, 1, false}}, {}, {kSeawater, kSpring, kRecharge}},
    {CarbonatePair::AlkalinityPCO2, "pCO2", "Alk", "pCO2", "Alk/meq/L", {{4, 1, 4, 1, false}}, {{1, 2, 4, 1, false}},
     {With(kRecharge, 0.00316, 4.07674), With(kSeawater, 0.00035, 2.37541), With(kSpring, 0.0005, 0.9)}},
    {CarbonatePair::BicarbonateCarbonate, "[CO32-]", "[HCO3-]", "[CO32-]/mmol/L", "[HCO3-]/mmol/L",
     {{4, 1, 4, 1, false}, {4, 1, 5, 2, true}, {4, 2, 5, 1, false}, {4, 2, 6, 1, true}},
     {{1, 2, 4, 1, false}, {1, 2, 5, 2, true}, {1, 3, 5, 1, false}, {1, 3, 6, 1, true}},
     {With(kSpring, 0.5, 4.2), With(kSeawater, 0.03, 2.2), With(kRecharge, 0.05, 4.0)}}};
// clang-format on

void Put(workbook::MemoryWorksheet& sheet, const char* a1, CellValue value) {
  sheet.Put(At(a1).first, At(a1).second, std::move(value));
}

// The shipped parameters without gypsum's log K (G5: its conditional constant
// is 0 and G6 keeps its text), the first analysis on the Main sheet, and on
// the Batch sheet samples marked by a text, a 0 and an empty text (A2:A4); A5
// holds nothing, so row 6 is not read; "nd" in E3, H3 and J4.
MemoryWorkbook BookFor(const PairCase& c) {
  MemoryWorkbook wb;
  FillDefaultParameters(wb);
  Put(wb.Sheet(3), "G5", CellValue::Empty());
  Put(wb.Sheet(3), "G6", Text("previous"));
  PutAnalysis(wb.Sheet(1), 5, 1, c.samples[0]);
  const CellValue markers[] = {Text("SN2"), Num(0), Text(""), {}, Text("S6")};
  for (int row = 2; row <= 6; ++row) {
    wb.Sheet(2).Put(row, 1, markers[row - 2]);
    PutAnalysis(wb.Sheet(2), row, 2, c.samples[static_cast<std::size_t>((row - 2) % 3)]);
  }
  for (const char* nd : {"E3", "H3", "J4"}) Put(wb.Sheet(2), nd, Text("nd"));
  return wb;
}

TEST(RunCalculation, MainSheetHeadingsAndResultsAreThoseOfAnIndependentSolve) {
  for (const PairCase& c : kPairs) {
    SCOPED_TRACE(c.a4);
    MemoryWorkbook wb = BookFor(c);
    const Calculation main(wb, DataSheet::Main, c.pair);
    const ModelState r = Reference(wb, DataSheet::Main, c.pair).Solve(c.samples[0]);
    EXPECT_TRUE(main.s == r) << "the run's state differs from a solve of the same inputs " << main.error;
    Cells want = MainCells(r);
    want.insert({{At("A4"), Text(c.a4)}, {At("B4"), Text(c.b4)}});
    ExpectWrittenExactly(wb.Sheet(1), want); // the inputs A5:I5 are never written
    EXPECT_EQ(wb.Sheet(1).Formats(), c.main);
    // Worksheet 3: B6:F6 and J13:M18; absent complexes (log K 0: NaOH J13, KOH K13, NaCl J14) read 0.
    ExpectCells(wb.Sheet(3),
                {{At("G6"), Text("previous")}, {At("J13"), Num(0)}, {At("K13"), Num(0)}, {At("J14"), Num(0)}});
    EXPECT_EQ(wb.Sheet(3).Writes().size(), 29u);
    EXPECT_TRUE(wb.Sheet(2).Writes().empty());
  }
}

TEST(RunCalculation, BatchRowsAreThoseOfIndependentSolvesSharingOneState) {
  for (const PairCase& c : kPairs) {
    SCOPED_TRACE(c.a4);
    MemoryWorkbook wb = BookFor(c);
    const Calculation batch(wb, DataSheet::Batch, c.pair);
    Reference b(wb, DataSheet::Batch, c.pair);
    Cells want = {{At("B1"), Text(c.b1)}, {At("C1"), Text(c.c1)}};
    want.merge(BatchCells(b.Solve(c.samples[0]), 2));
    want.merge(BatchCells(b.Solve(c.samples[1], {false, true, false, false, true}), 3));
    want.merge(BatchCells(b.Solve(c.samples[2], {false, false, false, false, false, false, true}), 4));
    ExpectWrittenExactly(wb.Sheet(2), want);
    EXPECT_EQ(wb.Sheet(2).Formats(), c.batch);
    // The walk's counters name the last sample, whose results the state holds.
    std::tie(b.s.CurrentSample, b.s.SampleRowCounter, b.s.SampleCount, b.s.SampleNumber, b.s.ProgressPercent) =
        std::tuple(3, 5, 3.0, 3.0, 100.0);
    EXPECT_TRUE(batch.s == b.s) << "samples share the state: the run must carry it like the reference";
    EXPECT_TRUE(wb.Sheet(1).Writes().empty() && wb.Sheet(3).Writes().empty());
    // Whatever the flags say: log activities AI3, AL3, AN4 and the CaSO4 product O4 read "nd", AU3 is 0.
    for (const char* nd : {"AI3", "AL3", "AN4", "O4"})
      EXPECT_EQ(wb.Sheet(2).Value(At(nd).first, At(nd).second).text, "nd");
    EXPECT_EQ(wb.Sheet(2).Value(At("AU3").first, At("AU3").second).number, 0.0);
  }
}

TEST(RunCalculation, ProgressOfSampleKOfNComesBeforeTheSampleIsRead) {
  for (const PairCase& c : kPairs) {
    SCOPED_TRACE(c.a4);
    MemoryWorkbook wb = BookFor(c);
    const Calculation batch(wb, DataSheet::Batch, c.pair, true);
    // k * 100 / 3 percent while the alkalinity is still the previous
    // sample's; bicarbonate and carbonate never set it.
    EXPECT_EQ(batch.percents, (std::vector<double>{100.0 / 3, 200.0 / 3, 100.0}));
    EXPECT_EQ(batch.samples, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 3}, {2, 3}, {3, 3}}));
    const auto given = [&](std::size_t k) {
      return c.pair == CarbonatePair::BicarbonateCarbonate ? 0.0 : c.samples[k][1] / 1000;
    };
    EXPECT_EQ(batch.alkalinity, (std::vector<double>{0, given(0), given(1)}));
  }
}

// Results an earlier run left beside the inputs of the sample that now fails.
void PutEarlierResults(workbook::MemoryWorksheet& sheet, const Cells& cells) {
  for (const auto& [cell, value] : cells) sheet.Put(cell.first, cell.second, Num(1.5));
}

TEST(RunCalculation, AFailedSampleIsNamedAndKeepsNoEarlierResults) {
  // pH 10.5 with 0.2 meq/L: hydroxide alone (Kw / 10^-10.5 = 0.32 meq/L)
  // exceeds the alkalinity, so no carbonate is left: an impossible sample.
  const Analysis impossible = With(kSpring, 10.5, 0.2);
  MemoryWorkbook main = BookFor(kPairs[0]);
  PutAnalysis(main.Sheet(1), 5, 1, impossible);
  PutEarlierResults(main.Sheet(1), MainCells(ModelState()));
  EXPECT_THAT(
      Calculation(main, DataSheet::Main, kPairs[0].pair).error,
      AllOf(HasSubstr("Main sheet (row 5): the sample could not be calculated"), HasSubstr("pCO2 is negative")));
  for (const auto& [cell, value] : MainCells(ModelState())) {
    EXPECT_TRUE(main.Sheet(1).Value(cell.first, cell.second).IsEmpty())
        << workbook::CellAddress(cell.first, cell.second);
  }
  EXPECT_TRUE(main.Sheet(3).Value(At("B6").first, At("B6").second).IsEmpty());
}

// The handler notes SIGINT or SIGTERM instead of ending the program; the run
// polls the note between samples (the command line's tests show the rest).
TEST(RunCalculation, TheStopHandlerNotesTheSignal) {
  InstallStopHandlers();
  std::raise(SIGINT);
  EXPECT_EQ(StopSignal().load(), SIGINT);
}

// A signal noted during a batch: the run ends after a written sample, and the
// state holds that sample (a second core may have solved further ones).
TEST(RunCalculation, AStopMidBatchLeavesTheStateOfTheLastSampleWritten) {
  struct SignalAtSampleTwo : ProgressListener {
    void OnProgress(const ProgressUpdate& update) override {
      if (update.sample == 2) signal = SIGINT;
    }
    bool LooksAtTheState() const override { return false; }
    std::atomic<int> signal{0};
  } listener;
  MemoryWorkbook wb = BookFor(kPairs[0]);
  ModelState s;
  s.SheetMode = DataSheet::Batch;
  s.InputPair = kPairs[0].pair;
  RunSummary summary;
  RunOptions options;
  options.stopSignal = &listener.signal;
  EXPECT_THROW(RunCalculation(s, wb, &listener, &summary, options), RunStopped);
  ASSERT_GE(summary.samplesReached, 1);
  EXPECT_EQ(s.CurrentSample, summary.samplesReached);
  // The alkalinity entered in meq/L, in the state in eq/L.
  EXPECT_EQ(s.Alkalinity, kPairs[0].samples[static_cast<std::size_t>(s.CurrentSample - 1)][1] / 1000);
}

TEST(RunCalculation, WorksheetFourChoosesTheModelAndTheExtraResults) {
  for (const DataSheet mode : {DataSheet::Main, DataSheet::Batch}) {
    MemoryWorkbook wb = BookFor(kPairs[0]);
    Put(wb.Sheet(4), "E23", Text(" Ion Association ")); // letter case and spaces do not matter
    Put(wb.Sheet(4), "E24", Text("YES"));
    const Calculation run(wb, mode, kPairs[0].pair);
    Reference reference(wb, mode, kPairs[0].pair);
    reference.s.Model = SpeciationModel::IonAssociation;
    const ModelState& r = reference.Solve(kPairs[0].samples[0]);
    const bool main = mode == DataSheet::Main;
    const auto& sheet = wb.Sheet(main ? 1 : 2);
    // Headings, the 3 of CaCO3 and the 4 of CaSO4 lowered; gypsum has no log K (G5 empty): "nd".
    const std::string row = main ? "5" : "2", headings = main ? "4" : "1";
    const char* columns[] = {main ? "S" : "CB", main ? "T" : "CC", main ? "U" : "CD"};
    ExpectCells(sheet, {{At(columns[0] + headings), Text("SI calcite (CaCO3)")},
                        {At(columns[1] + headings), Text("SI gypsum (CaSO4)")},
                        {At(columns[2] + headings), Text("Charge balance error/%")},
                        {At(columns[0] + row), Num(r.SaturationIndexCalcite)},
                        {At(columns[1] + row), Text("nd")},
                        {At(columns[2] + row), Num(r.ChargeBalanceError)}});
    const auto [hr, hc] = At(columns[0] + headings);
    EXPECT_THAT(sheet.Formats(), ::testing::Contains(workbook::MemoryWorksheet::Format{hr, hc, 17, 1, false}));
    EXPECT_EQ(sheet.Value(At(main ? "R5" : "M2").first, At(main ? "R5" : "M2").second).number,
              r.IonicStrength * 1000); // the ion-association model's result, not the specified one's
  }
}

// The reference at a temperature: the chemistry with the shipped temperature
// data as the table mode compiles them in from data/logk-temperature.csv (not
// through the workbook's block), or without a temperature.
void AtTemperature(Reference& r, std::optional<double> celsius) {
  static const Table<TemperatureRecord, 30> shipped = LoadTableParameters(std::nullopt).start.TemperatureTable;
  r.s.TemperatureTable = shipped;
  r.s.TemperatureGiven = celsius.has_value();
  r.s.TemperatureC = celsius.value_or(r.s.TemperatureC);
}

TEST(RunCalculation, AtTheWorkbooksTemperatureTheResultsAreTheChemistrysAtThatTemperature) {
  const PairCase& c = kPairs[0];
  MemoryWorkbook main = BookFor(c);
  Put(main.Sheet(4), "E29", Num(10)); // every sample at 10 °C
  const Calculation single(main, DataSheet::Main, c.pair);
  Reference r(main, DataSheet::Main, c.pair);
  AtTemperature(r, 10.0);
  EXPECT_TRUE(single.s == r.Solve(c.samples[0])) << "the run differs from the chemistry at 10 °C " << single.error;
  ExpectCells(main.Sheet(1), MainCells(r.s));

  // Each sample its own (column CF): 10 °C, none (empty), 150 °C (fails, named).
  MemoryWorkbook batch = BookFor(c);
  Put(batch.Sheet(4), "E29", Text("Per Sample"));
  Put(batch.Sheet(4), "E26", Text("continue"));
  Put(batch.Sheet(2), "CF2", Num(10));
  Put(batch.Sheet(2), "CF4", Num(150));
  const Calculation run(batch, DataSheet::Batch, c.pair);
  Reference b(batch, DataSheet::Batch, c.pair);
  AtTemperature(b, 10.0);
  Cells want = BatchCells(b.Solve(c.samples[0]), 2);
  AtTemperature(b, std::nullopt);
  want.merge(BatchCells(b.Solve(c.samples[1], {false, true, false, false, true}), 3));
  want.insert({At("CF1"), Text("Temperature/°C")});
  ExpectCells(batch.Sheet(2), want);
  EXPECT_THAT(batch.Sheet(2).Value(4, At("CE4").second).text,
              ::testing::AllOf(HasSubstr("row 4"), HasSubstr("CF4"), HasSubstr("150 °C is outside 0 to 100 °C")));
}

TEST(RunCalculation, AnEmptyA2MeansNoSampleWhateverLiesBelow) {
  MemoryWorkbook wb = BookFor(kPairs[0]);
  Put(wb.Sheet(2), "A2", {});
  EXPECT_TRUE(Calculation(wb, DataSheet::Batch, kPairs[0].pair).percents.empty());
  EXPECT_EQ(wb.Sheet(2).Writes(), (std::vector<Cell>{At("B1"), At("C1")}));
}

// The five example waters of data/example-waters.csv (pH, alkalinity meq/L,
// Na, K, Ca, Mg, Cl, NO3, SO4 mmol/L: the last nine fields of each line).
std::vector<Analysis> ExampleWaters() {
  std::ifstream in(std::string(VONTRALEK_DATA_DIR) + "/example-waters.csv");
  std::vector<Analysis> waters;
  std::string line;
  for (std::getline(in, line); std::getline(in, line);) {
    Analysis a{};
    for (int i = 8; i >= 0; --i) {
      a[static_cast<std::size_t>(i)] = std::stod(line.substr(line.rfind(',') + 1));
      line.erase(line.rfind(','));
    }
    waters.push_back(a);
  }
  return waters;
}

// The example waters entered as a laboratory reports them give the results of
// the same waters in mmol/L and meq/L; so do three waters given by carbonate
// and bicarbonate. The inputs are made here with IUPAC molar masses (CIAAW
// 2021/2022, abridged: Na 22.990, K 39.098, Ca 40.078, Mg 24.305, Cl 35.45,
// N 14.007, SO4 96.056, HCO3 61.016, CO3 60.008, CaCO3 40.078 + 60.008 =
// 100.086, two equivalents a mole) and the charges; potassium is reported
// below the detection limit, "<x" with x twice the value ("half") or the value
// itself ("limit").
TEST(RunCalculation, LaboratoryUnitsAndDetectionLimitsGiveTheResultsOfMillimolesPerLitre) {
  const std::vector<Analysis> waters = ExampleWaters();
  ASSERT_EQ(waters.size(), 5u);
  const auto book = [&](std::size_t pair, const char* ionUnit, const char* alkalinityUnit, const char* belowLimit,
                        double first, double second, const std::array<double, 7>& ions, double limitFactor) {
    MemoryWorkbook wb;
    FillDefaultParameters(wb);
    for (const auto& [cell, text] : {std::pair{"E25", belowLimit}, {"E27", ionUnit}, {"E28", alkalinityUnit}})
      Put(wb.Sheet(4), cell, Text(text));
    Put(wb.Sheet(4), "I8", Num(14.007)); // nitrate reported as N
    const std::vector<Analysis> samples =
        pair == 0 ? waters : std::vector<Analysis>(kPairs[2].samples.begin(), kPairs[2].samples.end());
    for (int k = 1; k <= static_cast<int>(samples.size()); ++k) {
      Analysis a = samples[static_cast<std::size_t>(k - 1)];
      a[0] *= first, a[1] *= second;
      for (std::size_t i = 2; i < 9; ++i) a[i] *= ions[i - 2];
      wb.Sheet(2).Put(k + 1, 1, Num(k));
      PutAnalysis(wb.Sheet(2), k + 1, 2, a);
      wb.Sheet(2).Put(k + 1, 5, CellValue::Text("< " + fmt::format("{}", a[3] * limitFactor)));
    }
    EXPECT_EQ(Calculation(wb, DataSheet::Batch, kPairs[pair].pair).error, "");
    return wb;
  };
  const std::array<double, 7> mg{22.990, 39.098, 40.078, 24.305, 35.45, 14.007, 96.056}, meq{1, 1, 2, 2, 1, 1, 2};
  for (const std::size_t pair : {0, 2}) {
    const bool a = pair == 0;
    MemoryWorkbook mmol = book(pair, "", "", "limit", 1, 1, {1, 1, 1, 1, 1, 1, 1}, 1);
    MemoryWorkbook lab[] = {
        book(pair, "mg/L", "mg/L as CaCO3", "half", a ? 1 : 60.008, a ? 100.086 / 2 : 61.016, mg, 2),
        book(pair, "MEQ/L", " mg/L as HCO3 ", "limit", a ? 1 : 2, a ? 61.016 : 1, meq, 1)};
    for (MemoryWorkbook& wb : lab) {
      for (int row = 2; row <= 6; ++row) {
        for (const auto& [cell, want] : BatchCells(ModelState(), row)) {
          const CellValue got = wb.Sheet(2).Value(cell.first, cell.second);
          const CellValue ref = mmol.Sheet(2).Value(cell.first, cell.second);
          EXPECT_EQ(got.text, ref.text);
          EXPECT_NEAR(got.number, ref.number, std::abs(ref.number) * 1e-12) << workbook::CellAddress(row, cell.second);
        }
      }
    }
  }
}

// Refused before anything is written, naming the cell, in both models: bad
// settings, a user's column where a heading goes, units without their molar
// mass, a sample that cannot be read or cannot stand for a water (a negative
// concentration, a pH outside -1 to 15, a pCO2 that is not positive), "<x"
// without a usable number. A negative alkalinity (an acid water) is valid.
TEST(RunCalculation, BadSettingsAndInputsStopTheRunBeforeAnythingIsWritten) {
  using Puts = std::vector<std::tuple<int, const char*, CellValue>>; // worksheet, cell, value
  const DataSheet M = DataSheet::Main, B = DataSheet::Batch;
  const std::tuple<DataSheet, std::size_t, Puts, std::vector<const char*>> cases[] = {
      {M, 0, {{4, "E23", Text("ion-association")}}, {"E23", "\"as specified\" or \"ion association\""}},
      {M, 0, {{4, "E24", Num(1)}}, {"E24", "\"no\" or \"yes\""}},
      {B, 0, {{4, "E25", Text("sometimes")}}, {"E25", "\"stop\", \"zero\", \"half\" or \"limit\""}},
      {B, 0, {{4, "E26", Text("go on")}}, {"E26", "\"stop\" or \"continue\""}},
      {B, 0, {{4, "E27", Text("ppm")}}, {"E27", "mmol/L"}},
      {B, 0, {{4, "E28", Text("mg/L")}}, {"E28", "mg/L as CaCO3"}},
      {M, 0, {{1, "T4", Text("my notes")}}, {"T4", "my notes", "SI gypsum"}},
      {B, 0, {{2, "CD1", Num(3)}}, {"CD1", "Charge balance"}},
      {B, 0, {{2, "CE1", Text("Remarks")}}, {"CE1", "Remarks", "Status"}},
      {B, 0, {{4, "E27", Text("mg/L")}, {4, "I8", {}}}, {"I8", "g/mol"}},
      {M, 0, {{4, "E28", Text("mg/L as CaCO3")}, {4, "L8", Num(0)}}, {"L8"}},
      {M, 1, {{4, "E28", Text("mg/L as HCO3")}, {4, "K8", Num(-61)}}, {"K8", "negative"}},
      {M, 0, {{1, "E5", Text("nd")}}, {"Main sheet", "E5", "\"nd\""}},
      {M, 0, {{1, "A5", {}}}, {"A5", "is empty", "pH"}},
      {M, 1, {{1, "B5", {}}}, {"B5", "is empty", "alkalinity"}},
      {M, 2, {{1, "A5", {}}}, {"A5", "is empty", "carbonate"}},
      {M, 0, {{1, "E5", Num(-0.01)}}, {"E5", "negative"}},
      {M, 2, {{1, "B5", Num(-1)}}, {"B5", "negative"}},
      {M, 0, {{1, "A5", Num(15.5)}}, {"A5", "outside -1 to 15"}},
      {M, 0, {{1, "A5", Num(-1.5)}}, {"A5", "outside -1 to 15"}},
      {M, 1, {{1, "A5", Num(0)}}, {"A5", "must be positive"}},
      {M, 0, {{1, "D5", Text("<0.1")}}, {"D5", "E25"}},
      {M, 0, {{1, "D5", Text("<")}, {4, "E25", Text("zero")}}, {"D5", "<0.1"}},
      {M, 0, {{1, "D5", Text("<-1")}, {4, "E25", Text("half")}}, {"D5"}},
      {M, 0, {{1, "D5", Text("<1e999")}, {4, "E25", Text("limit")}}, {"D5"}},
      {M, 0, {{4, "E29", Text("warm")}}, {"E29", "\"warm\"", "per sample"}},
      {B, 0, {{4, "E29", Num(150)}}, {"E29", "150 °C, outside 0 to 100 °C"}},
      {M, 0, {{4, "E29", Num(10)}, {3, "B61", Text("cubic")}}, {"B61", "\"cubic\"", "van 't Hoff"}},
      {B, 0, {{4, "E29", Num(10)}, {3, "I80", Text("1,5")}}, {"I80", "\"1,5\" is not a number"}},
      {M, 0, {{4, "E29", Text("per sample")}, {3, "A55", {}}}, {"A55", "has no temperature data"}},
      {M, 0, {{4, "E29", Text("per sample")}, {1, "V5", Num(150)}}, {"V5", "150 °C is outside"}},
      {B, 0, {{4, "E29", Text("per sample")}, {2, "CF1", Text("Remarks")}}, {"CF1", "Remarks"}},
      {M, 0, {{1, "A5", Num(3)}, {1, "B5", Num(-0.5)}}, {}}}; // pH 3 ([H+] about 1 mmol/L), -0.5 meq/L
  for (const char* model : {"as specified", "ion association"}) {
    for (const auto& [mode, pair, puts, texts] : cases) {
      MemoryWorkbook wb = BookFor(kPairs[pair]);
      Put(wb.Sheet(4), "E23", Text(model));
      Put(wb.Sheet(4), "E24", Text("yes"));
      Put(wb.Sheet(4), "E26", Text("continue"));
      for (const auto& [sheet, cell, value] : puts) Put(wb.Sheet(sheet), cell, value);
      const std::string error = Calculation(wb, mode, kPairs[pair].pair).error, cell = std::get<1>(puts[0]);
      EXPECT_EQ(error.empty(), texts.empty()) << cell << " " << error;
      for (const char* text : texts) EXPECT_THAT(error, HasSubstr(text)) << cell;
      for (int n = 1; n <= 4 && !texts.empty(); ++n) EXPECT_TRUE(wb.Sheet(n).Writes().empty()) << cell << n;
    }
  }
}

// 1,000 Batch samples, 10 of them bad: text, "<" without a number, pH 30, a
// negative concentration, a pH and alkalinity that leave no carbonate... With
// "continue" the 990 others are calculated, each bad row gets its reason in CE
// and loses the results an earlier run left; with "stop" the run ends at the
// first, the rows before it kept.
TEST(RunCalculation, ABatchWithBadRowsGoesOnOrStopsAtTheFirst) {
  const std::tuple<int, const char*, CellValue> bad[] = {
      {17, "G", Text("abc")},  {101, "D", Text("<")},  {230, "B", Num(30)},   {333, "F", Num(-1)},
      {402, "J", Text("<-2")}, {555, "E", Text("ND")}, {600, "B", Num(10.5)}, {777, "C", {}},
      {890, "H", Text("1,5")}, {1001, "I", Num(-0.2)}};
  const auto book = [&](const char* onFailure) {
    MemoryWorkbook wb;
    FillDefaultParameters(wb);
    Put(wb.Sheet(4), "E24", Text("yes"));
    Put(wb.Sheet(4), "E25", Text("zero"));
    Put(wb.Sheet(4), "E26", Text(onFailure));
    for (int row = 2; row <= 1001; ++row) {
      wb.Sheet(2).Put(row, 1, Num(row));
      PutAnalysis(wb.Sheet(2), row, 2, row % 2 ? kSpring : kRecharge);
    }
    Put(wb.Sheet(2), "C600", Num(0.2)); // with pH 10.5: no carbonate left, a failed solve
    for (const auto& [row, column, value] : bad) {
      Put(wb.Sheet(2), (column + std::to_string(row)).c_str(), value);
      for (const char* column : {"K", "CA", "CB", "CE"})
        Put(wb.Sheet(2), (column + std::to_string(row)).c_str(), Num(1.5));
    }
    return wb;
  };
  MemoryWorkbook going = book("continue");
  ModelState s;
  s.SheetMode = DataSheet::Batch;
  s.InputPair = CarbonatePair::AlkalinityPH;
  RunSummary summary;
  RunCalculation(s, going, nullptr, &summary);
  EXPECT_EQ(std::tie(summary.samplesDone, summary.samplesFailed), std::tuple(990, 10));
  std::vector<std::int64_t> rows;
  for (const auto& [row, column, value] : bad) rows.push_back(row);
  EXPECT_EQ(summary.firstFailedRows, rows);
  EXPECT_THAT(DescribeFailures(summary), HasSubstr("990 samples calculated, 10 failed"));
  auto& sheet = going.Sheet(2);
  EXPECT_TRUE(sheet.Value(1, At("CE1").second).EqualsText("Status"));
  EXPECT_THAT(sheet.Value(600, At("CE1").second).text, HasSubstr("could not be calculated"));
  for (int row = 2, next = 0; row <= 1001; ++row) {
    const bool failed = next < 10 && std::get<0>(bad[next]) == row;
    const CellValue status = sheet.Value(row, At("CE1").second);
    if (failed) {
      // The reason names the cell, or for the failed solve the sample's row.
      const std::string cell = std::get<1>(bad[next++]) + std::to_string(row);
      EXPECT_THAT(status.text, HasSubstr(row == 600 ? "row 600" : cell)) << row;
      EXPECT_LE(status.text.size(), 255u);
      for (const char* column : {"K", "CA", "CB"})
        EXPECT_TRUE(sheet.Value(row, At(column + std::string("1")).second).IsEmpty()) << row;
    } else {
      EXPECT_TRUE(status.EqualsText("ok")) << row;
      EXPECT_EQ(sheet.Value(row, At("CA1").second).kind, CellValue::Kind::Number) << row;
    }
  }

  MemoryWorkbook stopped = book("stop");
  EXPECT_THAT(
      Calculation(stopped, DataSheet::Batch, CarbonatePair::AlkalinityPH).error,
      AllOf(HasSubstr("row 17"), HasSubstr("G17"), HasSubstr("Samples 1 to 15 (rows 2 to 16) were calculated")));
  EXPECT_EQ(stopped.Sheet(2).Value(16, At("K1").second).kind, CellValue::Kind::Number);
  EXPECT_TRUE(stopped.Sheet(2).Value(17, At("K1").second).IsEmpty());
  EXPECT_EQ(stopped.Sheet(2).Value(18, At("K1").second).number, 0.0); // not reached, never written
}

// A Batch sheet of 32,770 rows (marker 0, pH 7.5, 2 meq/L) that keeps no cells: a long batch, cheaply.
struct LongBatch : MemoryWorkbook, workbook::MemoryWorksheet {
  LongBatch() : MemoryWorksheet("Batch", 2) { FillDefaultParameters(*this); }
  workbook::Worksheet& Worksheets(int n) override { return n == 2 ? *this : MemoryWorkbook::Worksheets(n); }
  CellValue Value(int row, int column) const override {
    return row < 2 || row > 32771 || column > 3 ? CellValue() : Num(column == 2 ? 7.5 : column == 3 ? 2.0 : 0.0);
  }
  void SetNumber(int, int, double) override { ++writes; }
  void SetText(int, int, std::string_view) override { ++writes; } // the headings and "nd" (no ions given)
  std::int64_t writes = 0;
};

TEST(RunCalculation, ABatchRunsPastThirtyTwoThousandSevenHundredSixtySevenRows) {
  LongBatch wb;
  const Calculation run(wb, DataSheet::Batch, CarbonatePair::AlkalinityPH);
  EXPECT_EQ(std::tie(run.error, run.s.CurrentSample, run.s.SampleRowCounter), std::tuple("", 32770, 32772));
  EXPECT_EQ(wb.writes, 2 + 69 * 32770); // two headings, 69 results a sample
}

} // namespace
} // namespace vontralek
