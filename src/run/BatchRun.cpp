#include "run/BatchRun.h"

#include <exception>
#include <optional>
#include <thread>

#include "layout/Layout.h"
#include "report/ExtraResults.h"
#include "report/RunHeadings.h"
#include "report/StatusColumn.h"
#include "run/BatchDiagrams.h"
#include "run/BatchSink.h"
#include "run/BatchSource.h"
#include "run/CollectingSink.h"
#include "run/InputHeadings.h"
#include "run/MineralRun.h"
#include "run/Pipeline.h"
#include "run/RunSteps.h"
#include "run/SampleReader.h"
#include "run/Stopwatch.h"

namespace vontralek::sheet_run {

namespace batch_sheet = layout::batch_sheet;

void CountBatchSamples(ModelState& state, const workbook::Worksheet& sheet) {
  state.SampleRowCounter = batch_sheet::FirstSampleRow;
  while (state.SampleRowCounter <= layout::LastSheetRow &&
         !sheet.IsEmpty(static_cast<int>(state.SampleRowCounter), batch_sheet::MarkerColumn)) {
    state.SampleRowCounter += 1;
  }
  state.SampleCount = static_cast<double>(state.SampleRowCounter - batch_sheet::FirstSampleRow);
}

void RunBatch(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
              ProgressListener* progress, RunSummary& summary, const RunOptions& options) {
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  std::vector<HeadingCell> headings;
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::BatchSheet);
    summary.statusColumn = StatusColumnInUse(workbook, summary.settings);
    AddedColumns columns = AddedColumnsOf(summary.settings, state.InputPair);
    columns.status = summary.statusColumn;
    headings = RunHeadings(DataSheet::Batch, state.InputPair, columns);
    CheckRunHeadings(workbook, DataSheet::Batch, state.InputPair, headings);
    CheckMineralColumns(workbook, DataSheet::Batch, summary.settings);
    SampleReader(summary.settings, state).CheckConversions();
    CountBatchSamples(state, *sheet);
  });
  if (summary.settings.diagrams)
    Guarded(state, summary, Text("The diagrams (worksheet 4, E35) cannot be drawn"),
            [&] { BatchDiagrams::Check(workbook); });
  summary.samplesFound = state.SampleRowCounter - batch_sheet::FirstSampleRow;
  summary.readSeconds += SecondsSince(start);
  StopIfAsked(state, summary, options);

  // The headings go with the results: a run that ends before its first
  // sample is not saved.
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    WriteRunHeadings(workbook, DataSheet::Batch, headings);
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
  std::optional<BatchDiagrams> diagrams;
  if (summary.settings.diagrams) diagrams.emplace(options.collector);
  SampleCollector* collector = diagrams ? &*diagrams : options.collector;
  std::optional<CollectingSink> collecting; // names in column A, which the source keeps as the row's field
  if (collector != nullptr) collecting.emplace(sink, *collector, 0);
  source.keepNames = collector != nullptr;
  PipelineOptions pipeline;
  pipeline.start = StartState::CarryOver;
  pipeline.onFailure = summary.settings.onFailure;
  pipeline.threads = 1;
  pipeline.arithmeticHint = ArithmeticHint;
  pipeline.reactions = summary.settings.reactions;
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
  // A run that stops leaves no row claiming a result it does not hold: the
  // rows after the last one it processed lose their results and status (a
  // later run over the same inputs writes them again).
  const auto clearRowsAfter = [&](std::int64_t processed) {
    try {
      for (std::int64_t k = processed + 1; k <= summary.samplesFound; ++k)
        ClearBatchSample(workbook, summary, state.InputPair, k);
    } catch (const std::exception&) {
      // The error that stopped the run is the one to report.
    }
  };
  try {
    RunPipeline(state, source, collecting ? static_cast<ResultSink&>(*collecting) : sink,
                fixedSum ? static_cast<WeightedSumSource&>(*fixedSum) : weightedSum, pipeline);
  } catch (const RowStopped& stopped) {
    // "stop": the failed sample's row is cleared, its reason in the status
    // column when that is kept, and the run ends there.
    account();
    const std::int64_t failed = state.CurrentSample;
    try {
      RecordBatchFailure(state, workbook, summary, stopped.what());
    } catch (const RunError&) {
      clearRowsAfter(failed);
      throw;
    }
  } catch (const RunError&) { // a signal, or a row that could not be written
    account();
    clearRowsAfter(summary.samplesReached);
    throw;
  } catch (...) {
    account();
    throw;
  }
  account();
  if (diagrams)
    Guarded(state, summary, Text("The diagrams (worksheet 4, E35) could not be put into the workbook"),
            [&] { diagrams->Put(workbook); });
  // After a batch the counter names the last sample, whose results the state holds.
  if (state.SampleCount > 0) state.CurrentSample = static_cast<std::int64_t>(state.SampleCount);
}

} // namespace vontralek::sheet_run
