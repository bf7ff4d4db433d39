#include "run/MainSampleRun.h"

#include "layout/Layout.h"
#include "report/ExtraResults.h"
#include "report/RunHeadings.h"
#include "report/SampleReport.h"
#include "run/InputHeadings.h"
#include "run/MineralRun.h"
#include "run/Pipeline.h"
#include "run/RunSteps.h"
#include "run/SampleCollector.h"
#include "run/SampleReader.h"
#include "run/SampleTemperature.h"
#include "run/Stopwatch.h"

namespace vontralek::sheet_run {

namespace main_sheet = layout::main_sheet;

namespace {

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
    summary_.written = true;
    Guarded(state_, summary_, Text("The results of the sample on the Main sheet could not be written"), [&] {
      WriteSampleReport(state_, workbook_);
      if (summary_.settings.extraResults) WriteExtraResults(state_, workbook_);
      WriteMineralColumns(state_, workbook_, summary_.settings);
      WriteReactionResults(state_, workbook_, DataSheet::Main, 1,
                           ReactionColumnsOf(summary_.settings, state_.InputPair));
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

} // namespace

void RunSingleSample(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
                     RunSummary& summary, const RunOptions& options) {
  summary.samplesFound = 1;
  // Read and checked before anything is written: a sample that cannot be
  // read leaves the workbook as it was.
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  SampleInputs inputs;
  const std::vector<HeadingCell> headings =
      RunHeadings(DataSheet::Main, state.InputPair, AddedColumnsOf(summary.settings, state.InputPair));
  Guarded(state, summary, Text("The Main sheet (worksheet 1) could not be used"), [&] {
    sheet = &workbook.Worksheets(layout::MainSheet);
    CheckRunHeadings(workbook, DataSheet::Main, state.InputPair, headings);
    CheckMineralColumns(workbook, DataSheet::Main, summary.settings);
    SampleReader(summary.settings, state).CheckConversions();
  });
  Guarded(state, summary, Text("The sample on the Main sheet (row 5) could not be read"), [&] {
    ReadMainSample(inputs, *sheet, SampleReader(summary.settings, state));
    inputs.temperatureC = SampleTemperatureC(summary.settings, *sheet, DataSheet::Main, main_sheet::FirstInput.row);
    inputs.evaluationTemperatureC =
        SampleEvaluationTemperatureC(summary.settings, *sheet, DataSheet::Main, main_sheet::FirstInput.row);
  });
  summary.readSeconds += SecondsSince(start);
  StopIfAsked(state, summary, options);

  // The headings go with the results: a run that ends before the sample is
  // solved is not saved.
  Guarded(state, summary, Text("The Main sheet (worksheet 1) could not be used"), [&] {
    WriteRunHeadings(workbook, DataSheet::Main, headings);
    WriteMineralColumnHeadings(workbook, DataSheet::Main, summary.settings);
  });

  MainSample sample(state, workbook, summary, inputs);
  PipelineOptions pipeline;
  pipeline.start = StartState::CarryOver; // the state the window's earlier runs left
  pipeline.arithmeticHint = ArithmeticHint;
  pipeline.reactions = summary.settings.reactions;
  start = RunClock::now();
  try {
    RunPipeline(state, sample, sample, weightedSum, pipeline);
  } catch (const RowStopped& stopped) {
    // No earlier run's results stay beside inputs they do not belong to.
    summary.solveSeconds += SecondsSince(start);
    summary.written = true;
    Guarded(state, summary, Text("The results of the sample on the Main sheet could not be cleared"), [&] {
      ClearSampleReport(workbook);
      if (summary.settings.extraResults) ClearExtraResults(workbook, DataSheet::Main, 1);
      ClearMineralColumns(workbook, DataSheet::Main, 1, summary.settings);
      ClearReactionResults(workbook, DataSheet::Main, 1, ReactionColumnsOf(summary.settings, state.InputPair));
    });
    throw RunError(stopped.what(), DescribeRunProgress(state.SheetMode, summary, ""));
  }
  summary.solveSeconds += SecondsSince(start); // with the writing of the results
  if (options.collector != nullptr) options.collector->Collect("Main sample", MajorIonsOf(state));
  StopIfAsked(state, summary, options);
}

} // namespace vontralek::sheet_run
