#include <chrono>
#include <exception>
#include <string>

#include <fmt/format.h>

#include "layout/ParameterLoading.h"
#include "layout/WorkbookLayout.h"
#include "report/BatchReport.h"
#include "report/SampleReport.h"
#include "run/Run.h"
#include "run/Stopwatch.h"
#include "speciation/Speciation.h"

namespace vontralek {

namespace {

using layout::CellRef;
namespace main_sheet = layout::main_sheet;
namespace batch_sheet = layout::batch_sheet;

// The weighted charge sum restarts, for every sample, from the start value and
// scale the user keeps in E19 and E20 of worksheet 4.
class WorkbookWeightedSum : public WeightedSumSource {
public:
  explicit WorkbookWeightedSum(workbook::Workbook& workbook) : workbook_(workbook) {}
  void LoadWeightedSumParameters(ModelState& state) override {
    ::vontralek::LoadWeightedSumParameters(state, workbook_);
  }

private:
  workbook::Workbook& workbook_;
};

// The headings of the two carbonate input columns, with the chemical sub- and
// superscripts: CO2 has its 2 lowered, CO3 2- its 3 lowered and 2- raised,
// HCO3- its 3 lowered and - raised.
void WriteText(workbook::Worksheet& sheet, CellRef cell, const char* text) {
  sheet.SetText(cell.row, cell.column, text);
}

void WritePCO2Heading(workbook::Worksheet& sheet, CellRef cell) {
  WriteText(sheet, cell, "pCO2");
  sheet.SetSubscript(cell.row, cell.column, 4, 1);
}

void WriteCarbonateHeading(workbook::Worksheet& sheet, CellRef cell, const char* text) {
  WriteText(sheet, cell, text);
  sheet.SetSubscript(cell.row, cell.column, 4, 1);
  sheet.SetSuperscript(cell.row, cell.column, 5, 2);
}

void WriteBicarbonateHeading(workbook::Worksheet& sheet, CellRef cell, const char* text) {
  WriteText(sheet, cell, text);
  sheet.SetSubscript(cell.row, cell.column, 5, 1);
  sheet.SetSuperscript(cell.row, cell.column, 6, 1);
}

// The headings of the two input columns of the pair (on the Batch sheet they
// carry their units). No pair: no headings.
void WritePairHeadings(CarbonatePair pair, workbook::Worksheet& sheet, CellRef first, CellRef second, bool withUnits) {
  const char* alkalinity = withUnits ? "Alk/meq/L" : "Alk";
  switch (pair) {
  case CarbonatePair::AlkalinityPH:
    WriteText(sheet, first, "pH");
    WriteText(sheet, second, alkalinity);
    break;
  case CarbonatePair::AlkalinityPCO2:
    WritePCO2Heading(sheet, first);
    WriteText(sheet, second, alkalinity);
    break;
  case CarbonatePair::BicarbonateCarbonate:
    WriteCarbonateHeading(sheet, first, withUnits ? "[CO32-]/mmol/L" : "[CO32-]");
    WriteBicarbonateHeading(sheet, second, withUnits ? "[HCO3-]/mmol/L" : "[HCO3-]");
    break;
  case CarbonatePair::None:
    break;
  }
}

std::string ArithmeticHint(const ModelState& state) {
  if (state.InputPair == CarbonatePair::None) {
    return " No pair of carbonate-system variables was chosen, so the hydrogen-ion concentration stays 0: choose "
           "alkalinity and pH, alkalinity and pCO2, or bicarbonate and carbonate.";
  }
  return " Check the sample's inputs: a zero or negative pH, pCO2, alkalinity or concentration can leave the "
         "model undefined (with bicarbonate and carbonate given, the carbonate concentration must not be 0).";
}

// The two carbonate inputs of the pair, first then second: pH and pCO2 as
// entered, alkalinity meq/L -> eq/L, CO3 2- and HCO3- mmol/L -> mol/L. No
// pair: nothing is read.
void ReadPairInputs(ModelState& state, const workbook::Worksheet& sheet, CellRef first, CellRef second) {
  using layout::NumberAt;
  switch (state.InputPair) {
  case CarbonatePair::AlkalinityPH:
    state.PH = NumberAt(sheet, first);
    state.Alkalinity = NumberAt(sheet, second) / 1000.0;
    break;
  case CarbonatePair::AlkalinityPCO2:
    state.PCO2 = NumberAt(sheet, first);
    state.Alkalinity = NumberAt(sheet, second) / 1000.0;
    break;
  case CarbonatePair::BicarbonateCarbonate:
    state.SpeciesTable[species::Carbonate].TotalConc = NumberAt(sheet, first) / 1000.0;
    state.SpeciesTable[species::Bicarbonate].TotalConc = NumberAt(sheet, second) / 1000.0;
    break;
  case CarbonatePair::None:
    break;
  }
}

// An ion concentration: the cell in mmol/L, returned in mol/L. Text other than
// a number is a type mismatch, whose message then says how an ion that was not
// determined is marked on this sheet.
double IonConcentration(const workbook::Worksheet& sheet, int row, int column, const char* ndHint) {
  try {
    return sheet.NumberValue(row, column) / 1000.0;
  } catch (const TypeMismatchError& error) {
    throw TypeMismatchError(std::string(error.what()) + ndHint);
  }
}

constexpr const char* kMainNdHint =
    " The Main sheet needs a number for every ion; \"nd\" (not determined) is accepted only on the Batch sheet.";
constexpr const char* kBatchNdHint = " An ion that was not determined is marked \"nd\", in lower case.";

std::string BatchSampleText(std::int64_t k) {
  return fmt::format("Batch sample {} (row {} of the Batch sheet)", k, k + 1);
}

// Runs one step of the run; any failure becomes a RunError that says where it
// happened (context, only built when needed), what went wrong, and how far the
// run got.
template <typename Context, typename Step>
void Guarded(const ModelState& state, const RunSummary& summary, Context&& context, Step&& step,
             bool arithmeticHint = false) {
  try {
    step();
  } catch (const RunError&) {
    throw;
  } catch (const ArithmeticFault& fault) {
    const std::string cause = context() + ": " + fault.what() + (arithmeticHint ? ArithmeticHint(state) : "");
    throw RunError(cause, DescribeRunProgress(state.SheetMode, summary, ""));
  } catch (const std::exception& error) {
    throw RunError(context() + ": " + error.what(), DescribeRunProgress(state.SheetMode, summary, ""));
  }
}

// A fixed context text.
auto Text(const char* text) {
  return [text] { return std::string(text); };
}

void RunSingleSample(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
                     RunSummary& summary) {
  summary.samplesFound = 1;
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  Guarded(state, summary, Text("The Main sheet (worksheet 1) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::MainSheet);
    // Headings first, then the carbonate inputs.
    WritePairHeadings(state.InputPair, *sheet, main_sheet::FirstInputHeading, main_sheet::SecondInputHeading, false);
  });
  Guarded(state, summary, Text("The sample on the Main sheet (row 5) could not be read"), [&] {
    ReadPairInputs(state, *sheet, main_sheet::FirstInput, main_sheet::SecondInput);
    // Species rows 3 to 9 in mmol/L. The Main sheet has no marker for an ion
    // that was not determined: "nd" here is a type mismatch.
    for (int n = 3; n <= 9; ++n) {
      const CellRef cell = main_sheet::IonInputs[n - 2];
      state.SpeciesTable[n].TotalConc = IonConcentration(*sheet, cell.row, cell.column, kMainNdHint);
    }
  });
  summary.readSeconds += SecondsSince(start);

  start = RunClock::now();
  Guarded(
      state, summary, Text("The sample on the Main sheet (row 5) could not be calculated"),
      [&] { SolveSpeciation(state, weightedSum); }, true);
  summary.solveSeconds += SecondsSince(start);

  start = RunClock::now();
  Guarded(state, summary, Text("The results of the sample on the Main sheet could not be written"),
          [&] { WriteSampleReport(state, workbook); });
  summary.writeSeconds += SecondsSince(start);
  summary.samplesDone = 1;
}

void RunBatch(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
              ProgressListener* progress, RunSummary& summary) {
  // Column A is not scanned beyond the last row a worksheet can have.
  constexpr std::int64_t LastSheetRow = layout::LastSheetRow;
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::BatchSheet);
    WritePairHeadings(state.InputPair, *sheet, batch_sheet::FirstInputHeading, batch_sheet::SecondInputHeading, true);
    // Samples run from row 2 down to the first cell of the marker column that
    // holds nothing; a 0 or an empty text still marks a sample, and rows below
    // the first empty cell are not processed.
    state.SampleRowCounter = batch_sheet::FirstSampleRow;
    while (state.SampleRowCounter <= LastSheetRow &&
           !sheet->IsEmpty(static_cast<int>(state.SampleRowCounter), batch_sheet::MarkerColumn)) {
      state.SampleRowCounter += 1;
    }
    state.SampleCount = static_cast<double>(state.SampleRowCounter - batch_sheet::FirstSampleRow);
  });
  summary.samplesFound = state.SampleRowCounter - batch_sheet::FirstSampleRow;
  summary.readSeconds += SecondsSince(start);

  const auto sampleCount = static_cast<std::int64_t>(state.SampleCount);
  for (state.CurrentSample = 1; state.CurrentSample <= sampleCount; ++state.CurrentSample) {
    const std::int64_t k = state.CurrentSample;
    const int r = static_cast<int>(k + 1);

    // The progress is shown before the sample is read: k * 100 / N percent,
    // exactly 100 at the start of the last sample.
    state.SampleNumber = static_cast<double>(k);
    state.ProgressPercent = state.SampleNumber * 100.0 / state.SampleCount;
    ProgressUpdate update = ShowProgress(state.ProgressPercent);
    update.sample = k;
    update.sampleCount = sampleCount;
    if (progress != nullptr) progress->OnProgress(update);

    start = RunClock::now();
    Guarded(
        state, summary, [k] { return BatchSampleText(k) + " could not be read"; },
        [&] {
          ReadPairInputs(state, *sheet, {r, batch_sheet::FirstInputColumn}, {r, batch_sheet::SecondInputColumn});
          // Species rows 3 to 9 in mmol/L; exactly "nd" (not determined)
          // counts as 0, any other text is a type mismatch.
          for (int n = 3; n <= 9; ++n) {
            const int column = batch_sheet::IonColumns[n - 2];
            if (sheet->Value(r, column).EqualsText("nd")) {
              state.SpeciesTable[n].TotalConc = 0.0;
            } else {
              state.SpeciesTable[n].TotalConc = IonConcentration(*sheet, r, column, kBatchNdHint);
            }
          }
        });
    summary.readSeconds += SecondsSince(start);

    start = RunClock::now();
    Guarded(
        state, summary, [k] { return BatchSampleText(k) + " could not be calculated"; },
        [&] { SolveSpeciation(state, weightedSum); }, true);
    summary.solveSeconds += SecondsSince(start);

    start = RunClock::now();
    Guarded(
        state, summary, [k] { return "The results of " + BatchSampleText(k) + " could not be written"; },
        [&] { WriteBatchRow(state, workbook); });
    summary.writeSeconds += SecondsSince(start);
    summary.samplesDone = k;
  }
  // After a batch the counter names the last sample, whose results the state holds.
  if (sampleCount > 0) state.CurrentSample = sampleCount;
}

} // namespace

void RunCalculation(ModelState& state, workbook::Workbook& workbook, ProgressListener* progress, RunSummary* summary) {
  RunSummary local;
  RunSummary& done = summary != nullptr ? *summary : local;
  done.samplesDone = 0;
  done.samplesFound = 0;

  ComputeMachineEpsilon(state);
  const auto start = RunClock::now();
  Guarded(state, done, Text("The parameters of worksheets 3 and 4 could not be loaded"),
          [&] { LoadParameterTables(state, workbook); });
  done.readSeconds += SecondsSince(start);

  WorkbookWeightedSum weightedSum(workbook);
  if (state.SheetMode == DataSheet::Main) RunSingleSample(state, workbook, weightedSum, done);
  if (state.SheetMode == DataSheet::Batch) RunBatch(state, workbook, weightedSum, progress, done);
}

std::string DescribeRunProgress(DataSheet sheetMode, const RunSummary& summary, const std::string& savedTo) {
  const std::string saved = savedTo.empty() ? "" : " and saved to " + savedTo;
  if (sheetMode != DataSheet::Batch) {
    if (summary.samplesDone > 0) return "The sample's results were written" + saved + ".";
    return savedTo.empty() ? "The sample was not calculated."
                           : "The sample was not calculated; the workbook was saved to " + savedTo + ".";
  }
  // Sample k is on row k + 1.
  const std::int64_t d = summary.samplesDone;
  std::string text;
  if (d == 0) {
    text = "No sample was calculated";
    if (!savedTo.empty()) text += "; the workbook was saved to " + savedTo;
  } else if (d == 1) {
    text = "Sample 1 (row 2) was calculated" + saved;
  } else {
    text = fmt::format("Samples 1 to {} (rows 2 to {}) were calculated{}", d, d + 1, saved);
  }
  const std::int64_t n = summary.samplesFound;
  if (n == d + 1) {
    text += fmt::format("; sample {} (row {}) was not", n, n + 1);
  } else if (n > d + 1) {
    text += fmt::format("; samples {} to {} (rows {} to {}) were not", d + 1, n, d + 2, n + 1);
  }
  return text + ". Correct the cause and run the batch again.";
}

} // namespace vontralek
