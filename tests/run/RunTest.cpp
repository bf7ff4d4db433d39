#include <gmock/gmock.h>

#include "TestSupport.h"
#include "model/ParameterLoading.h"
#include "run/Run.h"
#include "speciation/Speciation.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::HasSubstr;

TEST(ShowProgress, CaptionsAndBarWidthsBeforeSampleKOfN) {
  // The stated cases: N = 1, 3, 4 and 8 (ties to the even percent), samples 1,
  // 199 and 200 of 200 (0.5 goes to 0; 99.5 rounds to 100 but is not exactly
  // 100). Widths k * 100 / N * 5175 / 100 twips by hand.
  const int k[] = {1, 1, 2, 3, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 1, 199, 200};
  const int n[] = {1, 3, 3, 3, 4, 4, 4, 4, 8, 8, 8, 8, 8, 8, 8, 8, 200, 200, 200};
  const char* captions[] = {"100% finishing", "33% completed", "67% completed",  "100% finishing", "25% completed",
                            "50% completed",  "75% completed", "100% finishing", "12% completed",  "25% completed",
                            "38% completed",  "50% completed", "62% completed",  "75% completed",  "88% completed",
                            "100% finishing", "0% completed",  "100% completed", "100% finishing"};
  const float widths[] = {5175,     1725,   3450,     5175,    1293.75,  2587.5, 3881.25, 5175,     646.875, 1293.75,
                          1940.625, 2587.5, 3234.375, 3881.25, 4528.125, 5175,   25.875,  5149.125, 5175};
  for (int i = 0; i < 19; ++i) {
    const double percent = static_cast<double>(k[i]) * 100.0 / static_cast<double>(n[i]);
    const ProgressUpdate update = ShowProgress(percent);
    EXPECT_EQ(update.caption, captions[i]) << k[i] << " of " << n[i];
    EXPECT_EQ(update.barWidth, widths[i]) << k[i] << " of " << n[i];
  }
}

// The reference: a state fed each analysis converted by hand (pH and pCO2 as
// entered, meq/L and mmol/L / 1000, nd 0), not through the run's reading of
// the sheet, and solved with the weighted sum's start value 0 and scale 1.
struct Reference : WeightedSumSource {
  Reference(MemoryWorkbook& wb, const std::string& mode, const std::string& pair) {
    s.SheetMode = DataSheetFromCode(mode);
    s.InputPair = CarbonatePairFromCode(pair);
    ComputeMachineEpsilon(s);
    LoadParameterTables(s, wb);
  }
  void LoadWeightedSumParameters(ModelState& state) override { state.AuxTable[11] = {0.0, 1.0}; }
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

// The run over an in-memory workbook, recording each progress update.
struct Calculation : ProgressListener {
  Calculation(MemoryWorkbook& wb, const std::string& mode, const std::string& pair) {
    s.SheetMode = DataSheetFromCode(mode);
    s.InputPair = CarbonatePairFromCode(pair);
    try {
      RunCalculation(s, wb, this);
    } catch (const RunError& e) {
      error = e.what();
    }
  }
  void OnProgress(const ProgressUpdate& update) override {
    percents.push_back(update.percent);
    alkalinity.push_back(s.Alkalinity);
  }
  ModelState s;
  std::string error;
  std::vector<double> percents, alkalinity;
};

// Each pair on the Main and the Batch sheet: headings with their sub- and
// superscripts (the 2 of pCO2; the 3 of [CO32-] and [HCO3-] lowered, "2-" and
// "-" raised), every result cell from a state solved independently. On the
// Batch sheet a text, a 0 and an empty text mark samples (A2:A4); A5 holds
// nothing, so row 6 is not read; "nd" (E3, H3, J4) is 0 for its sample only.
TEST(RunCalculation, EachPairOnTheMainAndTheBatchSheet) {
  struct Case {
    std::string pair;
    const char *a4, *b4, *b1, *c1;
    std::vector<workbook::MemoryWorksheet::Format> main, batch;
    std::array<Analysis, 3> samples;
  };
  // clang-format off
  const Case cases[] = {
      {"A", "pH", "Alk", "pH", "Alk/meq/L", {{4, 16, 4, 1, false}}, {}, {kSeawater, kSpring, kRecharge}},
      {"B", "pCO2", "Alk", "pCO2", "Alk/meq/L", {{4, 1, 4, 1, false}}, {{1, 2, 4, 1, false}},
       {With(kRecharge, 0.00316, 4.07674), With(kSeawater, 0.00035, 2.37541), With(kSpring, 0.0005, 0.9)}},
      {"C", "[CO32-]", "[HCO3-]", "[CO32-]/mmol/L", "[HCO3-]/mmol/L",
       {{4, 1, 4, 1, false}, {4, 1, 5, 2, true}, {4, 2, 5, 1, false}, {4, 2, 6, 1, true}},
       {{1, 2, 4, 1, false}, {1, 2, 5, 2, true}, {1, 3, 5, 1, false}, {1, 3, 6, 1, true}},
       {With(kSpring, 0.5, 4.2), With(kSeawater, 0.03, 2.2), With(kRecharge, 0.05, 4.0)}}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE("pair " + c.pair);
    MemoryWorkbook wb;
    FillDefaultParameters(wb);
    // Gypsum's log K (G5) left out: its conditional constant is 0 and G6 keeps its text.
    wb.Sheet(3).Put(5, 7, CellValue::Empty());
    wb.Sheet(3).Put(6, 7, Text("previous"));
    PutAnalysis(wb.Sheet(1), 5, 1, c.samples[0]);
    const Calculation main(wb, "A", c.pair);
    const ModelState r = Reference(wb, "A", c.pair).Solve(c.samples[0]);
    EXPECT_TRUE(main.s == r) << "the run's state differs from a solve of the same inputs " << main.error;
    Cells want = MainCells(r);
    want.insert({{{4, 1}, Text(c.a4)}, {{4, 2}, Text(c.b4)}});
    ExpectWrittenExactly(wb.Sheet(1), want); // the inputs A5:I5 are never written
    EXPECT_EQ(wb.Sheet(1).Formats(), c.main);
    // Worksheet 3: B6:F6 and J13:M18; absent complexes (log K 0: NaOH J13, KOH K13, NaCl J14) read 0.
    auto& w3 = wb.Sheet(3);
    ExpectCells(w3, {{{6, 7}, Text("previous")}, {{13, 10}, Num(0)}, {{13, 11}, Num(0)}, {{14, 10}, Num(0)}});
    EXPECT_EQ(w3.Writes().size(), 29u);
    const CellValue markers[] = {Text("SN2"), Num(0), Text(""), {}, Text("S6")};
    for (int row = 2; row <= 6; ++row) {
      wb.Sheet(2).Put(row, 1, markers[row - 2]);
      PutAnalysis(wb.Sheet(2), row, 2, c.samples[static_cast<std::size_t>((row - 2) % 3)]);
    }
    for (const Cell& nd : {Cell{3, 5}, Cell{3, 8}, Cell{4, 10}}) wb.Sheet(2).Put(nd.first, nd.second, Text("nd"));
    const Calculation batch(wb, "B", c.pair);
    Reference b(wb, "B", c.pair);
    want = {{{1, 2}, Text(c.b1)}, {{1, 3}, Text(c.c1)}};
    want.merge(BatchCells(b.Solve(c.samples[0]), 2));
    want.merge(BatchCells(b.Solve(c.samples[1], {false, true, false, false, true}), 3));
    want.merge(BatchCells(b.Solve(c.samples[2], {false, false, false, false, false, false, true}), 4));
    ExpectWrittenExactly(wb.Sheet(2), want);
    EXPECT_EQ(wb.Sheet(2).Formats(), c.batch);
    // The walk's counters name the last sample, whose results the state holds.
    std::tie(b.s.CurrentSample, b.s.SampleRowCounter, b.s.SampleCount, b.s.SampleNumber, b.s.ProgressPercent) =
        std::tuple(3, 5, 3.0, 3.0, 100.0);
    EXPECT_TRUE(batch.s == b.s) << "samples share the state: the run must carry it like the reference";
    EXPECT_EQ(wb.Sheet(1).Writes().size() + wb.Sheet(3).Writes().size(), 57u + 29u); // the batch writes neither
    // Whatever the flags say: log activities AI3, AL3, AN4 and the CaSO4 product O4 read "nd", AU3 is 0.
    for (const Cell& nd : {Cell{3, 35}, {3, 38}, {4, 40}, {4, 15}})
      EXPECT_EQ(wb.Sheet(2).Value(nd.first, nd.second).text, "nd");
    EXPECT_EQ(wb.Sheet(2).Value(3, 47).number, 0.0);
    // k * 100 / 3 percent, shown before sample k is read (the alkalinity is
    // the previous sample's); bicarbonate and carbonate never set it.
    EXPECT_EQ(batch.percents, (std::vector<double>{100.0 / 3, 200.0 / 3, 100.0}));
    const auto given = [&](std::size_t k) { return c.pair == "C" ? 0.0 : c.samples[k][1] / 1000; };
    EXPECT_EQ(batch.alkalinity, (std::vector<double>{0, given(0), given(1)}));
    // The Main sheet has no marker for an ion not determined: "nd" stops the run after the headings.
    wb.Sheet(1).Put(5, 5, Text("nd"));
    EXPECT_THAT(Calculation(wb, "A", c.pair).error,
                AllOf(HasSubstr("Main sheet"), HasSubstr("E5"), HasSubstr("\"nd\"")));
    EXPECT_EQ(wb.Sheet(1).Writes().size() + wb.Sheet(3).Writes().size(), 57u + 2u + 29u);
    // With A2 empty there is no sample, whatever lies below: only the headings are written again.
    wb.Sheet(2).Put(2, 1, {});
    EXPECT_TRUE(Calculation(wb, "B", c.pair).percents.empty());
    EXPECT_EQ(wb.Sheet(2).Writes().size(), want.size() + 2);
  }
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
  const Calculation run(wb, "B", "A");
  EXPECT_EQ(std::tie(run.error, run.s.CurrentSample, run.s.SampleRowCounter), std::tuple("", 32770, 32772));
  EXPECT_EQ(wb.writes, 2 + 69 * 32770); // two headings, 69 results a sample
}

} // namespace
} // namespace vontralek
