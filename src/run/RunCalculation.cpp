#include <array>
#include <chrono>
#include <csignal>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "labdata/LabUnits.h"
#include "layout/ParameterLoading.h"
#include "layout/SettingsLoading.h"
#include "layout/WorkbookLayout.h"
#include "report/BatchReport.h"
#include "report/ExtraResults.h"
#include "report/SampleReport.h"
#include "run/MineralRun.h"
#include "run/Pipeline.h"
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

std::string Where(const workbook::Worksheet& sheet, CellRef cell) {
  return "Worksheet " + std::to_string(sheet.Number()) + " (\"" + workbook::TextForMessage(sheet.Name()) +
         "\"), cell " + workbook::CellAddress(cell.row, cell.column);
}

constexpr const char* kMainNdHint =
    " The Main sheet needs a number for every ion; \"nd\" (not determined) is accepted only on the Batch sheet.";
constexpr const char* kBatchNdHint = " An ion that was not determined is marked \"nd\", in lower case.";
constexpr const char* kCensoredHint =
    " A value below the detection limit (\"<x\") counts when worksheet 4, E25 \"Below detection limit\" says "
    "zero, half or limit.";

// Reads a sample's inputs from its cells into the model's units (mol/L for
// concentrations, eq/L for the alkalinity), in the units the run's settings
// name, through the laboratory-data conversions. Inputs that cannot stand for
// a water are refused naming their cell: a negative concentration, a pH
// outside -1 to 15, a pCO2 that is not positive (a negative alkalinity is
// valid: acid waters).
class SampleReader {
public:
  SampleReader(const RunSettings& settings, const ModelState& state) : settings_(settings), state_(state) {}

  // Before anything is written: every molar mass and charge the units need.
  void CheckConversions() const {
    std::vector<int> rows{3, 4, 5, 6, 7, 8, 9};
    if (state_.InputPair == CarbonatePair::BicarbonateCarbonate) rows.insert(rows.end(), {10, 11});
    for (const int n : rows) {
      if (settings_.ionUnit == labdata::IonUnit::MgPerL) CheckMolarMass(settings_, n);
      if (settings_.ionUnit == labdata::IonUnit::MeqPerL && state_.SpeciesTable[n].Charge == 0.0) {
        const CellRef cell = layout::charge_sheet::SpeciesCharges[n];
        throw WorkbookError("Worksheet 4, cell " + workbook::CellAddress(cell.row, cell.column) +
                            " gives the charge 0, but the ion unit meq/L (E27) divides by it: enter the charge.");
      }
    }
    const bool alkalinityGiven =
        state_.InputPair == CarbonatePair::AlkalinityPH || state_.InputPair == CarbonatePair::AlkalinityPCO2;
    if (alkalinityGiven && settings_.alkalinityUnit == labdata::AlkalinityUnit::MgPerLAsCaCO3) {
      // M(CaCO3) = M(Ca) + M(CO3), F8 + L8: from the workbook's own row 8, so
      // that the workbook needs nothing beyond itself.
      CheckMolarMass(settings_, species::Calcium);
      CheckMolarMass(settings_, species::Carbonate);
    }
    if (alkalinityGiven && settings_.alkalinityUnit == labdata::AlkalinityUnit::MgPerLAsHCO3) {
      CheckMolarMass(settings_, species::Bicarbonate);
    }
  }

  // A sample: the two carbonate inputs of the pair, first then second (pH
  // and pCO2 as entered, alkalinity -> eq/L, CO3 2- and HCO3- -> mol/L; no
  // pair: none), then the ions of species rows 3 to 9 in the cells given.
  // ndAllowed: exactly "nd" (not determined) counts as 0.
  void Read(SampleInputs& in, const workbook::Worksheet& sheet, CellRef first, CellRef second,
            const std::array<CellRef, 7>& ions, bool ndAllowed, const char* ndHint) const {
    switch (state_.InputPair) {
    case CarbonatePair::AlkalinityPH:
      in.first = PH(sheet, first);
      in.second = Alkalinity(sheet, second);
      break;
    case CarbonatePair::AlkalinityPCO2:
      in.first = PCO2(sheet, first);
      in.second = Alkalinity(sheet, second);
      break;
    case CarbonatePair::BicarbonateCarbonate:
      in.first =
          ToMolPerL(species::Carbonate, Concentration(sheet, first, Required(sheet, first, "carbonate concentration")));
      in.second = ToMolPerL(species::Bicarbonate,
                            Concentration(sheet, second, Required(sheet, second, "bicarbonate concentration")));
      break;
    case CarbonatePair::None:
      break;
    }
    for (int n = 3; n <= 9; ++n) in.ions[n] = Ion(sheet, ions[static_cast<std::size_t>(n - 3)], n, ndAllowed, ndHint);
  }

private:
  // The ion of species row n: "nd" (where allowed) is 0, "<x" counts as the
  // detection-limit rule says, any other text is a type mismatch.
  double Ion(const workbook::Worksheet& sheet, CellRef cell, int n, bool ndAllowed, const char* ndHint) const {
    const workbook::CellValue v = sheet.Value(cell.row, cell.column);
    if (ndAllowed && v.EqualsText("nd")) return 0.0;
    const bool censored = v.kind == workbook::CellValue::Kind::Text && labdata::IsCensored(v.text);
    double value = 0.0;
    if (censored && settings_.belowLimit != labdata::BelowLimitPolicy::Stop) {
      try {
        value = labdata::CensoredValue(v.text, settings_.belowLimit);
      } catch (const labdata::LabDataError& error) {
        throw WorkbookError(Where(sheet, cell) + ": " + error.what() +
                            ". Write \"<\" and the detection limit, e.g. \"<0.1\".");
      }
    } else {
      try {
        value = sheet.NumberValue(cell.row, cell.column);
      } catch (const TypeMismatchError& error) {
        throw TypeMismatchError(std::string(error.what()) + (censored ? kCensoredHint : ndHint));
      }
    }
    return ToMolPerL(n, Concentration(sheet, cell, value));
  }

  // A carbonate input of the pair: an empty cell is an error naming it (it
  // would otherwise stand for a pH of 0 or no alkalinity at all).
  static double Required(const workbook::Worksheet& sheet, CellRef cell, const char* what) {
    if (sheet.IsEmpty(cell.row, cell.column)) {
      throw WorkbookError(Where(sheet, cell) + " is empty: it must hold the " + what +
                          " of the sample. Enter it, or choose the pair of carbonate variables the analysis gives.");
    }
    return layout::NumberAt(sheet, cell);
  }

  static double PH(const workbook::Worksheet& sheet, CellRef cell) {
    const double pH = Required(sheet, cell, "pH");
    if (pH < -1.0 || pH > 15.0) {
      throw WorkbookError(fmt::format("{} holds the pH {}, outside -1 to 15: no water has it. Correct the value.",
                                      Where(sheet, cell), pH));
    }
    return pH;
  }

  static double PCO2(const workbook::Worksheet& sheet, CellRef cell) {
    const double pCO2 = Required(sheet, cell, "pCO2 (atm)");
    if (!(pCO2 > 0.0)) {
      throw WorkbookError(fmt::format("{} holds the pCO2 {}: a partial pressure must be positive. Correct the value.",
                                      Where(sheet, cell), pCO2));
    }
    return pCO2;
  }

  double Alkalinity(const workbook::Worksheet& sheet, CellRef cell) const {
    const double value = Required(sheet, cell, "alkalinity");
    try {
      return labdata::AlkalinityToEqPerL(value, settings_.alkalinityUnit,
                                         settings_.molarMass[species::Calcium] +
                                             settings_.molarMass[species::Carbonate],
                                         settings_.molarMass[species::Bicarbonate]);
    } catch (const labdata::LabDataError& error) {
      throw WorkbookError(Where(sheet, cell) + ": " + error.what());
    }
  }

  static double Concentration(const workbook::Worksheet& sheet, CellRef cell, double value) {
    if (value < 0.0) {
      throw WorkbookError(fmt::format("{} holds {}: a concentration cannot be negative. Correct the value.",
                                      Where(sheet, cell), value));
    }
    return value;
  }

  // mmol/L: value / 1000 exactly as before; mg/L through the molar mass of
  // row 8; meq/L through the charge of row 4.
  double ToMolPerL(int n, double value) const {
    return labdata::IonToMolPerL(value, settings_.ionUnit, settings_.molarMass[static_cast<std::size_t>(n)],
                                 state_.SpeciesTable[n].Charge);
  }

  const RunSettings& settings_;
  const ModelState& state_;
};

std::string BatchSampleText(std::int64_t k) {
  return fmt::format("Batch sample {} (row {} of the Batch sheet)", k, k + 1);
}

// Runs one step of the run. Returns the reason when it failed: where
// (context, only built when needed) and what went wrong; nothing when it
// succeeded. A RunError passes through.
template <typename Context, typename Step> std::optional<std::string> Attempt(Context&& context, Step&& step) {
  try {
    step();
    return std::nullopt;
  } catch (const RunError&) {
    throw;
  } catch (const std::exception& error) {
    return context() + ": " + error.what();
  }
}

// Runs one step; a failure ends the run with a RunError saying where it
// happened, what went wrong and how far the run got.
template <typename Context, typename Step>
void Guarded(const ModelState& state, const RunSummary& summary, Context&& context, Step&& step) {
  if (auto failure = Attempt(std::forward<Context>(context), std::forward<Step>(step))) {
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

// The sample of the Main sheet, row 5, into model units. The Main sheet has
// no marker for an ion that was not determined: "nd" here is a type mismatch.
void ReadMainSample(SampleInputs& inputs, const workbook::Worksheet& sheet, const SampleReader& reader) {
  std::array<CellRef, 7> ions{};
  for (int i = 1; i <= 7; ++i) ions[static_cast<std::size_t>(i - 1)] = main_sheet::IonInputs[i];
  reader.Read(inputs, sheet, main_sheet::FirstInput, main_sheet::SecondInput, ions, false, kMainNdHint);
}

// Batch sample k, row r = k + 1, into model units; exactly "nd" (not
// determined) counts as 0.
void ReadBatchSample(SampleInputs& inputs, const workbook::Worksheet& sheet, int r, const SampleReader& reader) {
  std::array<CellRef, 7> ions{};
  for (int i = 1; i <= 7; ++i) ions[static_cast<std::size_t>(i - 1)] = {r, batch_sheet::IonColumns[i]};
  reader.Read(inputs, sheet, {r, batch_sheet::FirstInputColumn}, {r, batch_sheet::SecondInputColumn}, ions, true,
              kBatchNdHint);
}

// What the run adds to the sheet beyond the specified results.
AddedColumns AddedColumnsOf(const RunSettings& settings) {
  return {settings.extraResults, settings.onFailure == FailurePolicy::Continue,
          settings.temperature == TemperatureSource::PerSample};
}

// The Main sheet's sample as a pipeline of one row: the source gives the
// inputs read and checked before anything was written, the sink writes the
// results onto the Main sheet and worksheet 3.
class MainSample : public SampleSource, public ResultSink {
public:
  MainSample(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary, const SampleInputs& inputs)
      : state_(state), workbook_(workbook), summary_(summary), inputs_(inputs) {}

  bool Next(SampleRow& row) override {
    if (given_) return false;
    given_ = true;
    row.place = "The Main sheet (row 5)";
    row.inputs = inputs_;
    return true;
  }
  void Prepare(SampleRow&, const ModelState*) override {}
  void Write(SampleRow&) override {
    Guarded(state_, summary_, Text("The results of the sample on the Main sheet could not be written"), [&] {
      WriteSampleReport(state_, workbook_);
      if (summary_.settings.extraResults) WriteExtraResults(state_, workbook_);
      WriteMineralColumns(state_, workbook_, summary_.settings);
    });
    summary_.samplesDone = 1;
    summary_.samplesReached = 1;
  }

private:
  const ModelState& state_;
  workbook::Workbook& workbook_;
  RunSummary& summary_;
  const SampleInputs inputs_;
  bool given_ = false;
};

void RunSingleSample(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
                     RunSummary& summary, const RunOptions& options) {
  summary.samplesFound = 1;
  // Read and checked before anything is written: a sample that cannot be
  // read leaves the workbook as it was.
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  SampleInputs inputs;
  Guarded(state, summary, Text("The Main sheet (worksheet 1) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::MainSheet);
    CheckAddedHeadings(workbook, DataSheet::Main, AddedColumnsOf(summary.settings));
    CheckMineralColumns(workbook, DataSheet::Main, summary.settings);
    SampleReader(summary.settings, state).CheckConversions();
  });
  Guarded(state, summary, Text("The sample on the Main sheet (row 5) could not be read"), [&] {
    ReadMainSample(inputs, *sheet, SampleReader(summary.settings, state));
    inputs.temperatureC = SampleTemperatureC(summary.settings, *sheet, DataSheet::Main, main_sheet::FirstInput.row);
  });
  summary.readSeconds += SecondsSince(start);
  StopIfAsked(state, summary, options);

  summary.written = true;
  Guarded(state, summary, Text("The Main sheet (worksheet 1) could not be used"), [&] {
    WritePairHeadings(state.InputPair, *sheet, main_sheet::FirstInputHeading, main_sheet::SecondInputHeading, false);
    WriteAddedHeadings(workbook, DataSheet::Main, AddedColumnsOf(summary.settings));
    WriteMineralColumnHeadings(workbook, DataSheet::Main, summary.settings);
  });

  MainSample sample(state, workbook, summary, inputs);
  PipelineOptions pipeline;
  pipeline.start = StartState::CarryOver; // the state the window's earlier runs left
  pipeline.arithmeticHint = ArithmeticHint;
  start = RunClock::now();
  try {
    RunPipeline(state, sample, sample, weightedSum, pipeline);
  } catch (const RowStopped& stopped) {
    // No earlier run's results stay beside inputs they do not belong to.
    summary.solveSeconds += SecondsSince(start);
    Guarded(state, summary, Text("The results of the sample on the Main sheet could not be cleared"), [&] {
      ClearSampleReport(workbook);
      if (summary.settings.extraResults) ClearExtraResults(workbook, DataSheet::Main, 1);
      ClearMineralColumns(workbook, DataSheet::Main, 1, summary.settings);
    });
    throw RunError(stopped.what(), DescribeRunProgress(state.SheetMode, summary, ""));
  }
  summary.solveSeconds += SecondsSince(start); // with the writing of the results
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

// The reason a sample failed, on one line of at most 255 bytes for its status
// cell (cut at a UTF-8 character boundary, "..." marking the cut).
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  constexpr std::size_t kLongest = 255;
  if (text.size() <= kLongest) return text;
  std::size_t cut = kLongest - 3;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
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
        ClearMineralColumns(workbook, DataSheet::Batch, k, summary.settings);
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
        WriteMineralColumns(state, workbook, summary.settings);
      });
  summary.samplesDone += 1;
}

// The Batch sheet as the pipeline's source: sample k is row k + 1, read
// into the model's units. The progress of sample k is shown before it is read.
class BatchSource : public SampleSource {
public:
  // The count, the pair and the charges are read from a copy of the state as
  // the run starts: the solver, on a thread of its own, leaves them as they
  // are but may put the whole state back after a failed sample.
  BatchSource(const ModelState& state, const workbook::Worksheet& sheet, const RunSummary& summary,
              ProgressListener* progress)
      : state_(state), sheet_(sheet), settings_(summary.settings), reader_(summary.settings, state_),
        progress_(progress), count_(static_cast<std::int64_t>(state.SampleCount)) {}

  bool Next(SampleRow& row) override {
    if (k_ == count_) return false;
    const std::int64_t k = ++k_;
    // k * 100 / N percent, exactly 100 at the start of the last sample (the
    // same value Enter puts into the state).
    ProgressUpdate update = ShowProgress(static_cast<double>(k) * 100.0 / state_.SampleCount);
    update.sample = k;
    update.sampleCount = count_;
    if (progress_ != nullptr) progress_->OnProgress(update);

    const auto start = RunClock::now();
    row.place = BatchSampleText(k);
    const std::optional<std::string> failure =
        Attempt([&] { return row.place + " could not be read"; },
                [&] {
                  ReadBatchSample(row.inputs, sheet_, static_cast<int>(k + 1), reader_);
                  row.inputs.temperatureC =
                      SampleTemperatureC(settings_, sheet_, DataSheet::Batch, static_cast<int>(k + 1));
                });
    if (failure) row.failure = *failure;
    readSeconds += SecondsSince(start);
    return true;
  }

  // The sample's number and the progress, in the state that solves it.
  void Enter(ModelState& state, const SampleRow& row) override {
    state.CurrentSample = row.index + 1;
    state.SampleNumber = static_cast<double>(state.CurrentSample);
    state.ProgressPercent = state.SampleNumber * 100.0 / state.SampleCount;
  }

  double readSeconds = 0;

private:
  const ModelState state_;
  const workbook::Worksheet& sheet_;
  const RunSettings& settings_;
  const SampleReader reader_;
  ProgressListener* progress_;
  std::int64_t count_, k_ = 0;
};

// The Batch sheet as the pipeline's sink: a solved sample's results K:CA
// (with the extras CB:CD and "ok" in CE as the settings ask), a failed one's
// row cleared and its reason in CE. Between two samples a SIGINT or SIGTERM
// noted since ends the run.
class BatchSink : public ResultSink {
public:
  BatchSink(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary, const RunOptions& options)
      : state_(state), workbook_(workbook), summary_(summary), options_(options) {}

  void Prepare(SampleRow&, const ModelState*) override {}

  void Write(SampleRow& row) override {
    const auto start = RunClock::now();
    // Solved beside the writing: the state this row left.
    const ModelState& state = row.solved ? *row.solved : state_;
    if (row.failure.empty()) {
      WriteBatchResults(state, workbook_, summary_);
    } else {
      RecordBatchFailure(state, workbook_, summary_, row.failure);
    }
    writeSeconds += SecondsSince(start);
    summary_.samplesReached = state.CurrentSample;
    StopIfAsked(state_, summary_, options_);
  }

  double writeSeconds = 0;

private:
  const ModelState& state_;
  workbook::Workbook& workbook_;
  RunSummary& summary_;
  const RunOptions& options_;
};

void RunBatch(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
              ProgressListener* progress, RunSummary& summary, const RunOptions& options) {
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::BatchSheet);
    CheckAddedHeadings(workbook, DataSheet::Batch, AddedColumnsOf(summary.settings));
    CheckMineralColumns(workbook, DataSheet::Batch, summary.settings);
    SampleReader(summary.settings, state).CheckConversions();
    CountBatchSamples(state, *sheet);
  });
  summary.samplesFound = state.SampleRowCounter - batch_sheet::FirstSampleRow;
  summary.readSeconds += SecondsSince(start);
  StopIfAsked(state, summary, options);

  summary.written = true;
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    WritePairHeadings(state.InputPair, *sheet, batch_sheet::FirstInputHeading, batch_sheet::SecondInputHeading, true);
    WriteAddedHeadings(workbook, DataSheet::Batch, AddedColumnsOf(summary.settings));
    WriteMineralColumnHeadings(workbook, DataSheet::Batch, summary.settings);
  });

  // Each sample starts from the state the previous one left. With a second
  // core (and no progress listener that looks at the state between samples)
  // the samples are solved on it while this thread reads the rows ahead and
  // writes the solved ones; the weighted sum's start and scale (E19, E20 of
  // worksheet 4, which the run does not write) are then read once here.
  // Cells that cannot be read leave it to every sample's solve to say so.
  BatchSource source(state, *sheet, summary, progress);
  BatchSink sink(state, workbook, summary, options);
  PipelineOptions pipeline;
  pipeline.start = StartState::CarryOver;
  pipeline.onFailure = summary.settings.onFailure;
  pipeline.threads = 1;
  pipeline.arithmeticHint = ArithmeticHint;
  std::optional<FixedWeightedSum> fixedSum;
  if (std::thread::hardware_concurrency() >= 2 && (progress == nullptr || !progress->LooksAtTheState())) {
    try {
      ModelState scratch = state;
      weightedSum.LoadWeightedSumParameters(scratch);
      const AuxRecord& sum = scratch.AuxTable[WeightedSumRecord];
      fixedSum.emplace(sum.WeightedSum, sum.SumScale);
      pipeline.overlap = true;
      pipeline.rowsPerChunk = 64;
      pipeline.chunksPerThread = 8;
    } catch (const std::exception&) {
    }
  }
  start = RunClock::now();
  const auto account = [&] {
    summary.readSeconds += source.readSeconds;
    summary.writeSeconds += sink.writeSeconds;
    summary.solveSeconds += SecondsSince(start) - source.readSeconds - sink.writeSeconds;
  };
  try {
    RunPipeline(state, source, sink, fixedSum ? static_cast<WeightedSumSource&>(*fixedSum) : weightedSum, pipeline);
  } catch (const RowStopped& stopped) {
    // "stop": the failed sample's row is cleared and the run ends there.
    account();
    RecordBatchFailure(state, workbook, summary, stopped.what());
  } catch (...) {
    account();
    throw;
  }
  account();
  // After a batch the counter names the last sample, whose results the state holds.
  if (state.SampleCount > 0) state.CurrentSample = static_cast<std::int64_t>(state.SampleCount);
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
  Guarded(state, done, Text("The phase table of worksheet 3 could not be loaded"),
          [&] { LoadMineralSettings(workbook, done.settings); });
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
