#include <chrono>
#include <csignal>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "layout/ParameterLoading.h"
#include "layout/SettingsLoading.h"
#include "layout/WorkbookLayout.h"
#include "report/BatchReport.h"
#include "report/ExtraResults.h"
#include "report/SampleReport.h"
#include "run/Run.h"
#include "run/SampleTemperature.h"
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

// A carbonate input of the pair: an empty cell is an error naming it (it
// would otherwise stand for a pH of 0 or no alkalinity at all).
double RequiredNumber(const workbook::Worksheet& sheet, CellRef cell, const char* what) {
  if (sheet.IsEmpty(cell.row, cell.column)) {
    throw WorkbookError("Worksheet " + std::to_string(sheet.Number()) + " (\"" +
                        workbook::TextForMessage(sheet.Name()) + "\"), cell " +
                        workbook::CellAddress(cell.row, cell.column) + " is empty: it must hold the " + what +
                        " of the sample. Enter it, or choose the pair of carbonate variables the analysis gives.");
  }
  return layout::NumberAt(sheet, cell);
}

// The two carbonate inputs of the pair, first then second: pH and pCO2 as
// entered, alkalinity meq/L -> eq/L, CO3 2- and HCO3- mmol/L -> mol/L. No
// pair: nothing is read.
void ReadPairInputs(ModelState& state, const workbook::Worksheet& sheet, CellRef first, CellRef second) {
  switch (state.InputPair) {
  case CarbonatePair::AlkalinityPH:
    state.PH = RequiredNumber(sheet, first, "pH");
    state.Alkalinity = RequiredNumber(sheet, second, "alkalinity (meq/L)") / 1000.0;
    break;
  case CarbonatePair::AlkalinityPCO2:
    state.PCO2 = RequiredNumber(sheet, first, "pCO2 (atm)");
    state.Alkalinity = RequiredNumber(sheet, second, "alkalinity (meq/L)") / 1000.0;
    break;
  case CarbonatePair::BicarbonateCarbonate:
    state.SpeciesTable[species::Carbonate].TotalConc =
        RequiredNumber(sheet, first, "carbonate concentration (mmol/L)") / 1000.0;
    state.SpeciesTable[species::Bicarbonate].TotalConc =
        RequiredNumber(sheet, second, "bicarbonate concentration (mmol/L)") / 1000.0;
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

// Runs one step of the run. Returns the reason when it failed: where
// (context, only built when needed) and what went wrong; nothing when it
// succeeded. A RunError passes through.
template <typename Context, typename Step>
std::optional<std::string> Attempt(const ModelState& state, Context&& context, Step&& step,
                                   bool arithmeticHint = false) {
  try {
    step();
    return std::nullopt;
  } catch (const RunError&) {
    throw;
  } catch (const ArithmeticFault& fault) {
    return context() + ": " + fault.what() + (arithmeticHint ? ArithmeticHint(state) : "");
  } catch (const std::exception& error) {
    return context() + ": " + error.what();
  }
}

// Runs one step; a failure ends the run with a RunError saying where it
// happened, what went wrong and how far the run got.
template <typename Context, typename Step>
void Guarded(const ModelState& state, const RunSummary& summary, Context&& context, Step&& step) {
  if (auto failure = Attempt(state, std::forward<Context>(context), std::forward<Step>(step))) {
    throw RunError(*failure, DescribeRunProgress(state.SheetMode, summary, ""));
  }
}

// A fixed context text.
auto Text(const char* text) {
  return [text] { return std::string(text); };
}

// Between two samples: a SIGINT or SIGTERM noted since ends the run here.
void StopIfAsked(const ModelState& state, const RunSummary& summary, const RunOptions& options) {
  const int signal = options.stopSignal != nullptr ? options.stopSignal->load() : 0;
  if (signal == 0) return;
  const char* name = signal == SIGINT ? "Ctrl-C (SIGINT)" : signal == SIGTERM ? "SIGTERM" : "a signal";
  throw RunStopped(std::string("The run was stopped by ") + name + ".",
                   DescribeRunProgress(state.SheetMode, summary, ""), signal);
}

// The sample of the Main sheet, row 5, into model units (mol/L, eq/L). The
// Main sheet has no marker for an ion that was not determined: "nd" here is a
// type mismatch.
void ReadMainSample(ModelState& state, const workbook::Worksheet& sheet) {
  ReadPairInputs(state, sheet, main_sheet::FirstInput, main_sheet::SecondInput);
  for (int n = 3; n <= 9; ++n) {
    const CellRef cell = main_sheet::IonInputs[n - 2];
    state.SpeciesTable[n].TotalConc = IonConcentration(sheet, cell.row, cell.column, kMainNdHint);
  }
}

// Batch sample k, row k + 1, into model units; exactly "nd" (not determined)
// counts as 0, any other text is a type mismatch.
void ReadBatchSample(ModelState& state, const workbook::Worksheet& sheet, int r) {
  ReadPairInputs(state, sheet, {r, batch_sheet::FirstInputColumn}, {r, batch_sheet::SecondInputColumn});
  for (int n = 3; n <= 9; ++n) {
    const int column = batch_sheet::IonColumns[n - 2];
    if (sheet.Value(r, column).EqualsText("nd")) {
      state.SpeciesTable[n].TotalConc = 0.0;
    } else {
      state.SpeciesTable[n].TotalConc = IonConcentration(sheet, r, column, kBatchNdHint);
    }
  }
}

// What the run adds to the sheet beyond the specified results.
AddedColumns AddedColumnsOf(const RunSettings& settings) {
  return {settings.extraResults, settings.onFailure == FailurePolicy::Continue,
          settings.temperature == TemperatureSource::PerSample};
}

void RunSingleSample(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
                     RunSummary& summary, const RunOptions& options) {
  summary.samplesFound = 1;
  // Read and checked before anything is written: a sample that cannot be
  // read leaves the workbook as it was.
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  Guarded(state, summary, Text("The Main sheet (worksheet 1) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::MainSheet);
    CheckAddedHeadings(workbook, DataSheet::Main, AddedColumnsOf(summary.settings));
  });
  Guarded(state, summary, Text("The sample on the Main sheet (row 5) could not be read"), [&] {
    ReadMainSample(state, *sheet);
    SetSampleTemperature(state,
                         SampleTemperatureC(summary.settings, *sheet, DataSheet::Main, main_sheet::FirstInput.row));
  });
  summary.readSeconds += SecondsSince(start);
  StopIfAsked(state, summary, options);

  summary.written = true;
  Guarded(state, summary, Text("The Main sheet (worksheet 1) could not be used"), [&] {
    WritePairHeadings(state.InputPair, *sheet, main_sheet::FirstInputHeading, main_sheet::SecondInputHeading, false);
    WriteAddedHeadings(workbook, DataSheet::Main, AddedColumnsOf(summary.settings));
  });

  start = RunClock::now();
  const std::optional<std::string> failure = Attempt(
      state, Text("The sample on the Main sheet (row 5) could not be calculated"),
      [&] { SolveSpeciation(state, weightedSum); }, true);
  summary.solveSeconds += SecondsSince(start);

  start = RunClock::now();
  if (failure) {
    // No earlier run's results stay beside inputs they do not belong to.
    Guarded(state, summary, Text("The results of the sample on the Main sheet could not be cleared"), [&] {
      ClearSampleReport(workbook);
      if (summary.settings.extraResults) ClearExtraResults(workbook, DataSheet::Main, 1);
    });
    throw RunError(*failure, DescribeRunProgress(state.SheetMode, summary, ""));
  }
  Guarded(state, summary, Text("The results of the sample on the Main sheet could not be written"), [&] {
    WriteSampleReport(state, workbook);
    if (summary.settings.extraResults) WriteExtraResults(state, workbook);
  });
  summary.writeSeconds += SecondsSince(start);
  summary.samplesDone = 1;
  summary.samplesReached = 1;
  StopIfAsked(state, summary, options);
}

// Counts the samples: rows from 2 down to the first cell of the marker column
// that holds nothing; a 0 or an empty text still marks a sample, and rows
// below the first empty cell are not processed. Column A is not scanned beyond
// the last row a worksheet can have.
void CountBatchSamples(ModelState& state, const workbook::Worksheet& sheet) {
  state.SampleRowCounter = batch_sheet::FirstSampleRow;
  while (state.SampleRowCounter <= layout::LastSheetRow &&
         !sheet.IsEmpty(static_cast<int>(state.SampleRowCounter), batch_sheet::MarkerColumn)) {
    state.SampleRowCounter += 1;
  }
  state.SampleCount = static_cast<double>(state.SampleRowCounter - batch_sheet::FirstSampleRow);
}

// The reason a sample failed, on one line for its status cell.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return text;
}

// The sink of a failed batch sample: its results cleared; with "continue"
// its reason in the status column and the run goes on, else the run stops.
void RecordBatchFailure(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary,
                        const std::string& reason) {
  const std::int64_t k = state.CurrentSample;
  const bool keepGoing = summary.settings.onFailure == FailurePolicy::Continue;
  Guarded(
      state, summary, [k] { return "The results of " + BatchSampleText(k) + " could not be cleared"; },
      [&] {
        // No earlier run's results stay beside inputs they do not belong to.
        ClearBatchRow(workbook, k);
        if (summary.settings.extraResults) ClearExtraResults(workbook, DataSheet::Batch, k);
        if (keepGoing) WriteSampleStatus(workbook, k, OneLine(reason));
      });
  if (!keepGoing) throw RunError(reason, DescribeRunProgress(state.SheetMode, summary, ""));
  summary.samplesFailed += 1;
  if (summary.firstFailedRows.size() < RunSummary::kFailedRowsListed) summary.firstFailedRows.push_back(k + 1);
}

// The sink of a calculated batch sample: its row of results.
void WriteBatchResults(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary) {
  const std::int64_t k = state.CurrentSample;
  Guarded(
      state, summary, [k] { return "The results of " + BatchSampleText(k) + " could not be written"; },
      [&] {
        WriteBatchRow(state, workbook);
        if (summary.settings.extraResults) WriteExtraResults(state, workbook);
        if (summary.settings.onFailure == FailurePolicy::Continue) WriteSampleStatus(workbook, k, "ok");
      });
  summary.samplesDone += 1;
}

void RunBatch(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
              ProgressListener* progress, RunSummary& summary, const RunOptions& options) {
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::BatchSheet);
    CheckAddedHeadings(workbook, DataSheet::Batch, AddedColumnsOf(summary.settings));
    CountBatchSamples(state, *sheet);
  });
  summary.samplesFound = state.SampleRowCounter - batch_sheet::FirstSampleRow;
  summary.readSeconds += SecondsSince(start);
  StopIfAsked(state, summary, options);

  summary.written = true;
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    WritePairHeadings(state.InputPair, *sheet, batch_sheet::FirstInputHeading, batch_sheet::SecondInputHeading, true);
    WriteAddedHeadings(workbook, DataSheet::Batch, AddedColumnsOf(summary.settings));
  });

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

    // Source: the row into model units.
    start = RunClock::now();
    std::optional<std::string> failure = Attempt(
        state, [k] { return BatchSampleText(k) + " could not be read"; },
        [&] {
          ReadBatchSample(state, *sheet, r);
          SetSampleTemperature(state, SampleTemperatureC(summary.settings, *sheet, DataSheet::Batch, r));
        });
    summary.readSeconds += SecondsSince(start);

    // Solver.
    start = RunClock::now();
    if (!failure) {
      failure = Attempt(
          state, [k] { return BatchSampleText(k) + " could not be calculated"; },
          [&] { SolveSpeciation(state, weightedSum); }, true);
    }
    summary.solveSeconds += SecondsSince(start);

    // Sink: the results, or the failure.
    start = RunClock::now();
    if (failure) {
      RecordBatchFailure(state, workbook, summary, *failure);
    } else {
      WriteBatchResults(state, workbook, summary);
    }
    summary.writeSeconds += SecondsSince(start);
    summary.samplesReached = k;
    StopIfAsked(state, summary, options);
  }
  // After a batch the counter names the last sample, whose results the state holds.
  if (sampleCount > 0) state.CurrentSample = sampleCount;
}

} // namespace

void RunCalculation(ModelState& state, workbook::Workbook& workbook, ProgressListener* progress, RunSummary* summary,
                    const RunOptions& options) {
  RunSummary local;
  RunSummary& done = summary != nullptr ? *summary : local;
  done.samplesDone = done.samplesReached = done.samplesFound = done.samplesFailed = 0;
  done.firstFailedRows.clear();
  done.written = false;

  ComputeMachineEpsilon(state);
  const auto start = RunClock::now();
  Guarded(state, done, Text("The parameters of worksheets 3 and 4 could not be loaded"),
          [&] { LoadParameterTables(state, workbook); });
  // The run's settings: the workbook's block on worksheet 4, then what the
  // command line overrides.
  Guarded(state, done, Text("The settings of worksheet 4 could not be used"), [&] {
    done.settings = LoadRunSettings(workbook);
    if (options.model) done.settings.model = *options.model;
    if (options.extraResults) done.settings.extraResults = *options.extraResults;
    if (options.onFailure) done.settings.onFailure = *options.onFailure;
  });
  state.Model = done.settings.model;
  Guarded(state, done, Text("The temperature data of worksheet 3 could not be loaded"),
          [&] { LoadTemperatureData(state, workbook, done.settings); });
  done.readSeconds += SecondsSince(start);

  WorkbookWeightedSum weightedSum(workbook);
  if (state.SheetMode == DataSheet::Main) RunSingleSample(state, workbook, weightedSum, done, options);
  if (state.SheetMode == DataSheet::Batch) RunBatch(state, workbook, weightedSum, progress, done, options);
}

std::string DescribeRunProgress(DataSheet sheetMode, const RunSummary& summary, const std::string& savedTo) {
  const std::string saved = savedTo.empty() ? "" : " and saved to " + savedTo;
  if (sheetMode != DataSheet::Batch) {
    if (summary.samplesDone > 0) return "The sample's results were written" + saved + ".";
    return savedTo.empty() ? "The sample was not calculated."
                           : "The sample was not calculated; the workbook was saved to " + savedTo + ".";
  }
  // Sample k is on row k + 1.
  const std::int64_t d = summary.samplesReached;
  std::string text;
  if (d == 0) {
    text = "No sample was calculated";
    if (!savedTo.empty()) text += "; the workbook was saved to " + savedTo;
  } else if (d == 1) {
    text = "Sample 1 (row 2) was " + std::string(summary.samplesFailed > 0 ? "processed" : "calculated") + saved;
  } else {
    text = fmt::format("Samples 1 to {} (rows 2 to {}) were {}{}", d, d + 1,
                       summary.samplesFailed > 0 ? "processed" : "calculated", saved);
  }
  if (summary.samplesFailed > 0) {
    text += fmt::format(" ({} of them failed: their reasons are in column CE)", summary.samplesFailed);
  }
  const std::int64_t n = summary.samplesFound;
  if (n == d + 1) {
    text += fmt::format("; sample {} (row {}) was not", n, n + 1);
  } else if (n > d + 1) {
    text += fmt::format("; samples {} to {} (rows {} to {}) were not", d + 1, n, d + 2, n + 1);
  }
  return text + ". Correct the cause and run the batch again.";
}

std::string DescribeFailures(const RunSummary& summary) {
  std::string rows;
  for (const std::int64_t row : summary.firstFailedRows) rows += (rows.empty() ? "" : ", ") + std::to_string(row);
  return fmt::format("{} {} calculated, {} failed (their reasons are in column CE); first failing rows: {}{}.",
                     summary.samplesDone, summary.samplesDone == 1 ? "sample" : "samples", summary.samplesFailed, rows,
                     summary.samplesFailed > static_cast<std::int64_t>(summary.firstFailedRows.size()) ? ", ..." : "");
}

} // namespace vontralek
