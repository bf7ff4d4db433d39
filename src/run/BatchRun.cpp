#include "run/BatchRun.h"

#include <exception>
#include <optional>
#include <thread>

#include "layout/Layout.h"
#include "report/ExtraResults.h"
#include "run/BatchSink.h"
#include "run/BatchSource.h"
#include "run/InputHeadings.h"
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
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::BatchSheet);
    CheckAddedHeadings(workbook, DataSheet::Batch, AddedColumnsOf(summary.settings));
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

} // namespace vontralek::sheet_run
