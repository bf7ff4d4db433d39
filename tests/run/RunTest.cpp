#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <optional>

#include <fmt/format.h>

#include "TestSupport.h"
#include "layout/ParameterLoading.h"
#include "run/Interruption.h"
#include "run/Run.h"
#include "run/TableParameters.h"
#include "speciation/Speciation.h"
#include "table/Csv.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::HasSubstr;
using workbook::CellAddress, workbook::MemoryWorksheet;

TEST(ShowProgress, CaptionBeforeSampleKOfN) {
  // k of N: ties go to the even percent (12.5 -> 12, 37.5 -> 38, 0.5 -> 0); only exactly 100 (not 99.5) "finishing".
  const std::tuple<int, int, const char*> cases[] = {
      {1, 1, "100% finishing"}, {1, 3, "33% completed"},      {2, 3, "67% completed"},
      {1, 8, "12% completed"},  {3, 8, "38% completed"},      {5, 8, "62% completed"},
      {1, 200, "0% completed"}, {199, 200, "100% completed"}, {200, 200, "100% finishing"}};
  for (const auto& [k, n, caption] : cases)
    EXPECT_EQ(ShowProgress(static_cast<double>(k) * 100.0 / static_cast<double>(n)).caption, caption) << k << "/" << n;
}

// The reference: a state fed each analysis converted by hand (pH and pCO2 as entered, meq/L and mmol/L / 1000, nd 0),
// not through the run's reading of the sheet, and solved with the weighted sum's start value 0 and scale 1.
struct Reference : WeightedSumSource {
  Reference(MemoryWorkbook& wb, DataSheet mode, CarbonatePair pair) {
    std::tie(s.SheetMode, s.InputPair) = std::tuple(mode, pair);
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
  Calculation(MemoryWorkbook& wb, DataSheet mode, CarbonatePair pair, RunSummary* summary = nullptr,
              bool looksAtTheState = false)
      : looks(looksAtTheState) {
    std::tie(s.SheetMode, s.InputPair) = std::tuple(mode, pair);
    try {
      RunCalculation(s, wb, this, summary);
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

struct PairCase { // headings of Main A4, B4 and Batch B1, C1; three analyses
  CarbonatePair pair;
  const char *a4, *b4, *b1, *c1;
  std::array<Analysis, 3> samples;
};
// clang-format off
const PairCase kPairs[] = {
    {CarbonatePair::AlkalinityPH, "pH", "Alk", "pH", "Alk/meq/L", {kSeawater, kSpring, kRecharge}},
    {CarbonatePair::AlkalinityPCO2, "pCO2", "Alk", "pCO2", "Alk/meq/L",
     {With(kRecharge, 0.00316, 4.07674), With(kSeawater, 0.00035, 2.37541), With(kSpring, 0.0005, 0.9)}},
    {CarbonatePair::BicarbonateCarbonate, "[CO32-]", "[HCO3-]", "[CO32-]/mmol/L", "[HCO3-]/mmol/L",
     {With(kSpring, 0.5, 4.2), With(kSeawater, 0.03, 2.2), With(kRecharge, 0.05, 4.0)}}};
// clang-format on

// The shipped parameters without gypsum's log K (G5: its conditional constant is 0 and G6 keeps its text), the first
// analysis on the Main sheet, and on the Batch sheet samples marked by a text, a 0 and an empty text (A2:A4); A5 holds
// nothing, so row 6 is not read; "nd" in E3, H3 and J4.
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
    // Worksheet 3: B6:F6 and J13:M18; absent complexes (log K 0: NaOH J13, KOH K13, NaCl J14) read 0.
    ExpectCells(wb.Sheet(3),
                {{At("G6"), Text("previous")}, {At("J13"), Num(0)}, {At("K13"), Num(0)}, {At("J14"), Num(0)}});
    EXPECT_TRUE(wb.Sheet(3).Writes().size() == 29u && wb.Sheet(2).Writes().empty());
  }
}

TEST(RunCalculation, BatchRowsAreThoseOfIndependentSolvesSharingOneState) {
  // Solved on a second core (the listener does not look at the state), and on one thread for a listener that does.
  for (const auto& [c, looks] :
       {std::pair{kPairs[0], false}, {kPairs[0], true}, {kPairs[1], false}, {kPairs[2], false}, {kPairs[2], true}}) {
    SCOPED_TRACE(std::string(c.a4) + (looks ? ", one thread" : ""));
    MemoryWorkbook wb = BookFor(c);
    const Calculation batch(wb, DataSheet::Batch, c.pair, nullptr, looks);
    Reference b(wb, DataSheet::Batch, c.pair);
    Cells want = {{At("B1"), Text(c.b1)}, {At("C1"), Text(c.c1)}};
    want.merge(BatchCells(b.Solve(c.samples[0]), 2));
    want.merge(BatchCells(b.Solve(c.samples[1], {false, true, false, false, true}), 3));
    want.merge(BatchCells(b.Solve(c.samples[2], {false, false, false, false, false, false, true}), 4));
    ExpectWrittenExactly(wb.Sheet(2), want);
    // The walk's counters name the last sample, whose results the state holds.
    std::tie(b.s.CurrentSample, b.s.SampleRowCounter, b.s.SampleCount, b.s.SampleNumber, b.s.ProgressPercent) =
        std::tuple(3, 5, 3.0, 3.0, 100.0);
    EXPECT_TRUE(batch.s == b.s) << "samples share the state: the run must carry it like the reference";
    EXPECT_TRUE(wb.Sheet(1).Writes().empty() && wb.Sheet(3).Writes().empty());
    // Whatever the flags say: log activities AI3, AL3, AN4 and the CaSO4 product O4 read "nd", AU3 is 0.
    for (const char* nd : {"AI3", "AL3", "AN4", "O4"}) EXPECT_EQ(Get(wb.Sheet(2), nd).text, "nd");
    EXPECT_EQ(Get(wb.Sheet(2), "AU3").number, 0.0);
    // Sample k of 3 is announced (k * 100 / 3 %) with the previous sample's alkalinity; pair C never sets it.
    EXPECT_EQ(batch.percents, (std::vector<double>{100.0 / 3, 200.0 / 3, 100.0}));
    EXPECT_EQ(batch.samples, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 3}, {2, 3}, {3, 3}}));
    const bool c3 = c.pair == CarbonatePair::BicarbonateCarbonate;
    if (looks) {
      EXPECT_EQ(batch.alkalinity,
                (std::vector<double>{0, c3 ? 0 : c.samples[0][1] / 1000, c3 ? 0 : c.samples[1][1] / 1000}));
    }
  }
}

TEST(RunCalculation, AFailedMainSampleIsNamedAndKeepsNoEarlierResults) {
  // pH 10.5, 0.2 meq/L: hydroxide alone (Kw / 10^-10.5 = 0.32 meq/L) exceeds the alkalinity: no carbonate left.
  MemoryWorkbook main = BookFor(kPairs[0]);
  PutAnalysis(main.Sheet(1), 5, 1, With(kSpring, 10.5, 0.2));
  for (const auto& [cell, value] : MainCells(ModelState())) main.Sheet(1).Put(cell.first, cell.second, Num(1.5));
  EXPECT_THAT(
      Calculation(main, DataSheet::Main, kPairs[0].pair).error,
      AllOf(HasSubstr("Main sheet (row 5): the sample could not be calculated"), HasSubstr("pCO2 is negative")));
  for (const auto& [cell, value] : MainCells(ModelState()))
    EXPECT_TRUE(main.Sheet(1).Value(cell.first, cell.second).IsEmpty()) << CellAddress(cell.first, cell.second);
  EXPECT_TRUE(Get(main.Sheet(3), "B6").IsEmpty());
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
  std::tie(s.SheetMode, s.InputPair) = std::tuple(DataSheet::Batch, kPairs[0].pair);
  RunSummary summary;
  RunOptions options;
  options.stopSignal = &listener.signal;
  EXPECT_THROW(RunCalculation(s, wb, &listener, &summary, options), RunStopped);
  ASSERT_GE(summary.samplesReached, 1);
  EXPECT_EQ(s.CurrentSample, summary.samplesReached);
  // The alkalinity entered in meq/L, in the state in eq/L.
  EXPECT_EQ(s.Alkalinity, kPairs[0].samples[static_cast<std::size_t>(s.CurrentSample - 1)][1] / 1000);
}

// The reference at a temperature, in the ion-association model: the chemistry with the shipped temperature data as the
// table mode compiles them in from data/logk-temperature.csv (not through the workbook's block), or without one.
void AtTemperature(Reference& r, std::optional<double> celsius) {
  r.s.Model = SpeciationModel::IonAssociation;
  static const Table<TemperatureRecord, 30> shipped = LoadTableParameters(std::nullopt).start.TemperatureTable;
  r.s.TemperatureTable = shipped;
  r.s.TemperatureGiven = celsius.has_value();
  r.s.TemperatureC = celsius.value_or(r.s.TemperatureC);
}

// Worksheet 4 chooses the model (letter case and spaces do not matter), the extra results (gypsum has no log K here:
// "nd") and the temperature: every sample at 10 °C (E29), or each its own (column CF: 10 °C, none, 150 °C, which fails,
// named). Each sample is the chemistry's at its temperature.
TEST(RunCalculation, WorksheetFourChoosesModelExtrasAndTemperature) {
  const PairCase& c = kPairs[0];
  const auto book = [&](CellValue celsius) {
    MemoryWorkbook wb = BookFor(c);
    for (const auto& [cell, text] : {std::pair{"E23", " Ion Association "}, {"E24", "YES"}, {"E26", "continue"}})
      Put(wb.Sheet(4), cell, Text(text));
    Put(wb.Sheet(4), "E29", celsius);
    return wb;
  };
  MemoryWorkbook main = book(Num(10));
  const Calculation single(main, DataSheet::Main, c.pair);
  Reference r(main, DataSheet::Main, c.pair);
  AtTemperature(r, 10.0);
  EXPECT_TRUE(single.s == r.Solve(c.samples[0])) << "the run differs from the chemistry at 10 °C " << single.error;
  Cells want = MainCells(r.s);
  want.insert({{At("S4"), Text("SI calcite (CaCO3)")}, {At("U4"), Text("Charge balance error/%")}});
  want.insert(
      {{At("S5"), Num(r.s.SaturationIndexCalcite)}, {At("T5"), Text("nd")}, {At("U5"), Num(r.s.ChargeBalanceError)}});
  ExpectCells(main.Sheet(1), want);
  EXPECT_THAT(main.Sheet(1).Formats(), ::testing::Contains(MemoryWorksheet::Format{4, 19, 17, 1, false}));

  MemoryWorkbook batch = book(Text("Per Sample"));
  Put(batch.Sheet(2), "CF2", Num(10));
  Put(batch.Sheet(2), "CF4", Num(150));
  const Calculation run(batch, DataSheet::Batch, c.pair);
  Reference b(batch, DataSheet::Batch, c.pair);
  AtTemperature(b, 10.0);
  want = BatchCells(b.Solve(c.samples[0]), 2);
  want.insert({{At("CB2"), Num(b.s.SaturationIndexCalcite)}, {At("CC2"), Text("nd")}, {At("CE2"), Text("ok")}});
  AtTemperature(b, std::nullopt);
  want.merge(BatchCells(b.Solve(c.samples[1], {false, true, false, false, true}), 3));
  want.insert({{At("CF1"), Text("Temperature/°C")}, {At("CD1"), Text("Charge balance error/%")}});
  ExpectCells(batch.Sheet(2), want);
  EXPECT_THAT(Get(batch.Sheet(2), "CE4").text,
              AllOf(HasSubstr("row 4"), HasSubstr("CF4"), HasSubstr("150 °C is outside 0 to 100 °C")));
}

// The example waters as a laboratory reports them give the results of the same waters in mmol/L and meq/L
// (data/example-waters.csv: pH, alkalinity meq/L, then Na, K, Ca, Mg, Cl, NO3, SO4 mmol/L, the last nine fields); so do
// three waters given by carbonate and bicarbonate. Inputs made with IUPAC molar masses (CIAAW 2021/2022, abridged: Na
// 22.990, K 39.098, Ca 40.078, Mg 24.305, Cl 35.45, N 14.007, SO4 96.056, HCO3 61.016, CO3 60.008, CaCO3 100.086, 2
// eq/mol); potassium below the detection limit, "<x" with x twice the value ("half") or the value ("limit").
TEST(RunCalculation, LaboratoryUnitsAndDetectionLimitsGiveTheResultsOfMillimolesPerLitre) {
  const std::vector<Fields> example = CsvFields(ReadFile(VONTRALEK_DATA_DIR "/example-waters.csv"));
  std::vector<Analysis> waters(example.size() - 1);
  for (std::size_t r = 1; r < example.size(); ++r)
    for (std::size_t i = 0; i < 9; ++i) waters[r - 1][i] = std::stod(example[r][example[r].size() - 9 + i]);
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
    for (MemoryWorkbook& wb : lab)
      for (int row = 2; row <= 6; ++row)
        for (const auto& [cell, want] : BatchCells(ModelState(), row)) {
          const CellValue got = wb.Sheet(2).Value(cell.first, cell.second),
                          ref = mmol.Sheet(2).Value(cell.first, cell.second);
          EXPECT_EQ(got.text, ref.text);
          EXPECT_NEAR(got.number, ref.number, std::abs(ref.number) * 1e-12) << CellAddress(row, cell.second);
        }
  }
}

// Refused before anything is written, naming the cell, in both models: bad settings, a user's column where a heading
// goes, units without their molar mass, a sample that cannot be read or cannot stand for a water (a negative
// concentration, a pH outside -1 to 15, a pCO2 that is not positive), "<x" without a usable number, bad temperature
// data. A negative alkalinity (an acid water) is valid.
TEST(RunCalculation, BadSettingsAndInputsStopTheRunBeforeAnythingIsWritten) {
  const auto Formula = [](const char* f) { return CellValue{CellValue::Kind::UncalculatedFormula, 0.0, f}; };
  using Puts = std::vector<std::tuple<int, const char*, CellValue>>; // worksheet, cell, value
  const DataSheet M = DataSheet::Main, B = DataSheet::Batch;
  const std::tuple<DataSheet, std::size_t, Puts, std::vector<const char*>> cases[] = {
      {M, 0, {{4, "E23", Text("ionassociation")}}, {"E23", "\"as specified\" or \"ion association\""}},
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
      {M, 0, {{3, "D13", Text("see note")}}, {"worksheet 3", "D13", "see note"}},
      {B, 0, {{4, "M15", Text("see note")}}, {"worksheet 4", "M15", "see note"}},
      {M, 0, {{1, "E5", Text("nd")}}, {"Main sheet", "E5", "\"nd\""}},
      {M, 0, {{1, "A5", {}}}, {"A5", "is empty", "pH"}},
      {M, 1, {{1, "B5", {}}}, {"B5", "is empty", "alkalinity"}},
      {M, 2, {{1, "A5", {}}}, {"A5", "is empty", "carbonate"}},
      {M, 0, {{1, "E5", Num(-0.01)}}, {"E5", "negative"}},
      {M, 2, {{1, "B5", Num(-1)}}, {"B5", "negative"}},
      {M, 0, {{1, "A5", Num(15.5)}}, {"A5", "outside -1 to 15"}},
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
      // A formula the file has no value for, invisible characters (a zero-width space, a no-break space) escaped.
      {M, 0, {{4, "E24", Formula("IF(A1,\"yes\",\"no\")")}}, {"E24", "formula =IF(A1", "never calculated"}},
      {B, 0, {{4, "E29", Formula("B2*2")}}, {"E29", "formula =B2*2", "never calculated"}},
      {M, 0, {{4, "E23", Text("ion association\u200B")}}, {"E23", "\"ion association<U+200B>\""}},
      {B, 0, {{4, "E27", Text("mg/L\u00A0")}}, {"E27", "\"mg/L<U+00A0>\""}},
      {M, 0, {{1, "A5", Num(3)}, {1, "B5", Num(-0.5)}}, {}}}; // pH 3 ([H+] about 1 mmol/L), -0.5 meq/L
  for (const char* model : {"as specified", "ion association"}) {
    for (const auto& [mode, pair, puts, texts] : cases) {
      MemoryWorkbook wb = BookFor(kPairs[pair]);
      for (const auto& [cell, text] : {std::pair{"E23", model}, {"E24", "yes"}, {"E26", "continue"}})
        Put(wb.Sheet(4), cell, Text(text));
      for (const auto& [sheet, cell, value] : puts) Put(wb.Sheet(sheet), cell, value);
      const std::string error = Calculation(wb, mode, kPairs[pair].pair).error, cell = std::get<1>(puts[0]);
      EXPECT_EQ(error.empty(), texts.empty()) << cell << " " << error;
      for (const char* text : texts) EXPECT_THAT(error, HasSubstr(text)) << cell;
      for (int n = 1; n <= 4 && !texts.empty(); ++n) EXPECT_TRUE(wb.Sheet(n).Writes().empty()) << cell << n;
    }
  }
}

// 1,000 Batch samples, 10 of them bad: text, "<" without a number, pH 30, a negative concentration, a pH and alkalinity
// that leave no carbonate... With "continue" the 990 others are calculated, each bad row gets its reason in CE and
// loses the results an earlier run left; with "stop" the run ends at the first, the rows before it kept.
TEST(RunCalculation, ABatchWithBadRowsGoesOnOrStopsAtTheFirst) {
  const std::tuple<int, const char*, CellValue> bad[] = {
      {17, "G", Text("abc")},  {101, "D", Text("<")},  {230, "B", Num(30)},   {333, "F", Num(-1)},
      {402, "J", Text("<-2")}, {555, "E", Text("ND")}, {600, "B", Num(10.5)}, {777, "C", {}},
      {890, "H", Text("1,5")}, {1001, "I", Num(-0.2)}};
  const auto book = [&](const char* onFailure) {
    std::vector<Analysis> waters;
    for (int row = 2; row <= 1001; ++row) waters.push_back(row % 2 ? kSpring : kRecharge);
    MemoryWorkbook wb = BatchBook(waters);
    for (const auto& [cell, text] : {std::pair{"E24", "yes"}, {"E25", "zero"}, {"E26", onFailure}})
      Put(wb.Sheet(4), cell, Text(text));
    Put(wb.Sheet(2), "C600", Num(0.2)); // with pH 10.5: no carbonate left, a failed solve
    for (const auto& [row, column, value] : bad) {
      Put(wb.Sheet(2), column + std::to_string(row), value);
      for (const char* earlier : {"K", "CA", "CB", "CE"}) Put(wb.Sheet(2), earlier + std::to_string(row), Num(1.5));
    }
    return wb;
  };
  MemoryWorkbook going = book("continue");
  RunSummary summary;
  EXPECT_EQ(Calculation(going, DataSheet::Batch, CarbonatePair::AlkalinityPH, &summary).error, "");
  EXPECT_EQ(std::tie(summary.samplesDone, summary.samplesFailed), std::tuple(990, 10));
  EXPECT_EQ(summary.firstFailedRows, (std::vector<std::int64_t>{17, 101, 230, 333, 402, 555, 600, 777, 890, 1001}));
  EXPECT_THAT(DescribeFailures(summary), HasSubstr("990 samples calculated, 10 failed"));
  auto& sheet = going.Sheet(2);
  EXPECT_TRUE(Get(sheet, "CE1").EqualsText("Status"));
  EXPECT_THAT(Get(sheet, "CE600").text, HasSubstr("could not be calculated"));
  for (int row = 2, next = 0; row <= 1001; ++row) {
    const std::string r = std::to_string(row), status = Get(sheet, "CE" + r).text;
    if (next < 10 && std::get<0>(bad[next]) == row) {
      // The reason names the cell, or for the failed solve the sample's row.
      EXPECT_THAT(status, HasSubstr(row == 600 ? "row 600" : std::get<1>(bad[next]) + r)) << row;
      EXPECT_LE(status.size(), 255u);
      ++next;
      for (const char* column : {"K", "CA", "CB"}) EXPECT_TRUE(Get(sheet, column + r).IsEmpty()) << row;
    } else {
      EXPECT_TRUE(status == "ok" && Get(sheet, "CA" + r).kind == CellValue::Kind::Number) << row;
    }
  }

  MemoryWorkbook stopped = book("stop");
  EXPECT_THAT(
      Calculation(stopped, DataSheet::Batch, CarbonatePair::AlkalinityPH).error,
      AllOf(HasSubstr("row 17"), HasSubstr("G17"), HasSubstr("Samples 1 to 15 (rows 2 to 16) were calculated")));
  // K16 kept, K17 cleared, K18 not reached (never written).
  EXPECT_TRUE(Get(stopped.Sheet(2), "K16").kind == CellValue::Kind::Number && Get(stopped.Sheet(2), "K17").IsEmpty() &&
              Get(stopped.Sheet(2), "K18").number == 0.0);
}

// A Batch sheet of samples in rows 2 to last (marker 0, pH 7.5, 2 meq/L) that
// keeps no cells: a long batch, cheaply; it notes the deepest row asked for.
struct LongBatch : MemoryWorkbook, workbook::MemoryWorksheet {
  explicit LongBatch(int last = 32771) : MemoryWorksheet("Batch", 2), last(last) { FillDefaultParameters(*this); }
  workbook::Worksheet& Worksheets(int n) override { return n == 2 ? *this : MemoryWorkbook::Worksheets(n); }
  CellValue Value(int row, int column) const override {
    deepest = std::max(deepest, row);
    return row < 2 || row > last || column > 3 ? CellValue() : Num(column == 2 ? 7.5 : column == 3 ? 2.0 : 0.0);
  }
  int last;
  mutable int deepest = 0;
  void SetNumber(int, int, double) override { ++writes; }
  void SetText(int, int, std::string_view) override { ++writes; } // the headings and "nd" (no ions given)
  std::int64_t writes = 0;
};

TEST(RunCalculation, ABatchRunsPast32767RowsAndItsScanEndsAtTheSheetsLastRow) {
  LongBatch wb;
  const Calculation run(wb, DataSheet::Batch, CarbonatePair::AlkalinityPH);
  EXPECT_EQ(std::tie(run.error, run.s.CurrentSample, run.s.SampleRowCounter), std::tuple("", 32770, 32772));
  EXPECT_EQ(wb.writes, 2 + 69 * 32770); // two headings, 69 results a sample

  // Column A filled to the sheet's last row: 1,048,575 samples, and no row
  // below the last is asked for (the stop note ends the run after sample 1).
  LongBatch full(1048576);
  std::atomic<int> stop{SIGTERM};
  RunOptions options;
  options.stopSignal = &stop;
  ModelState state;
  std::tie(state.SheetMode, state.InputPair) = std::tuple(DataSheet::Batch, CarbonatePair::AlkalinityPH);
  EXPECT_THROW(RunCalculation(state, full, nullptr, nullptr, options), RunStopped);
  EXPECT_EQ(std::tie(state.SampleCount, full.deepest), std::tuple(1048575.0, 1048576));
}

} // namespace
} // namespace vontralek
