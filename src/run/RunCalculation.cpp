#include "run/RunCalculation.h"

#include "layout/ParameterLoading.h"
#include "layout/RequiredConstants.h"
#include "layout/SettingsLoading.h"
#include "run/BatchRun.h"
#include "run/MainSampleRun.h"
#include "run/MineralRun.h"
#include "run/RunSteps.h"
#include "run/SampleReactions.h"
#include "run/SampleTemperature.h"
#include "run/Stopwatch.h"
#include "speciation/Speciation.h"

namespace vontralek {

namespace {

using sheet_run::Guarded;
using sheet_run::Text;

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
  Guarded(state, done, Text("The parameters of worksheets 3 and 4 could not be loaded"), [&] {
    LoadParameterTables(state, workbook);
    CheckRequiredConstants(state, workbook);
    ModelState scratch; // every sample reads E19 and E20 again
    LoadWeightedSumParameters(scratch, workbook);
  });
  // The run's settings: the workbook's block on worksheet 4, then what the
  // command line overrides.
  Guarded(state, done, Text("The settings of worksheet 4 could not be used"), [&] {
    done.settings = LoadRunSettings(workbook);
    if (options.model) done.settings.model = *options.model;
    if (options.extraResults) done.settings.extraResults = *options.extraResults;
    if (options.onFailure) done.settings.onFailure = *options.onFailure;
    ReactionSettings& reactions = done.settings.reactions;
    if (options.calciteSaturation) reactions.calciteSaturation = *options.calciteSaturation;
    if (options.evaluationTemperatureC) {
      reactions.evaluationTemperature = TemperatureSource::Fixed;
      reactions.evaluationTemperatureC = *options.evaluationTemperatureC;
    }
    if (options.equilibriumPCO2) {
      reactions.equilibriumPCO2Given = true;
      reactions.equilibriumPCO2 = *options.equilibriumPCO2;
    }
  });
  state.Model = done.settings.model;
  Guarded(state, done, Text("The settings of worksheet 4 could not be used"),
          [&] { CheckReactionModel(done.settings); });
  Guarded(state, done, Text("The temperature data of worksheet 3 could not be loaded"),
          [&] { LoadTemperatureData(state, workbook, done.settings); });
  Guarded(state, done, Text("The phase table of worksheet 3 could not be loaded"),
          [&] { LoadMineralSettings(workbook, done.settings); });
  done.readSeconds += SecondsSince(start);

  WorkbookWeightedSum weightedSum(workbook);
  if (state.SheetMode == DataSheet::Main) sheet_run::RunSingleSample(state, workbook, weightedSum, done, options);
  if (state.SheetMode == DataSheet::Batch) sheet_run::RunBatch(state, workbook, weightedSum, progress, done, options);
}

} // namespace vontralek
