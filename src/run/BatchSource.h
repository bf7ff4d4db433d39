#pragma once

#include <cstdint>

#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "run/Pipeline.h"
#include "run/Progress.h"
#include "run/RunSummary.h"
#include "run/SampleReader.h"
#include "workbook/Workbook.h"

namespace vontralek::sheet_run {

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

  bool Next(SampleRow& row) override;

  // The sample's number and the progress, in the state that solves it.
  void Enter(ModelState& state, const SampleRow& row) override;

  double readSeconds = 0;
  bool keepNames = false; // each row's field 0: the sample's name in column A (for a collector)

private:
  const ModelState state_;
  const workbook::Worksheet& sheet_;
  const RunSettings& settings_;
  const SampleReader reader_;
  ProgressListener* progress_;
  std::int64_t count_, k_ = 0;
};

} // namespace vontralek::sheet_run
