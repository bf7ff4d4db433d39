#pragma once

#include <string>

#include "model/ModelState.h"
#include "run/Pipeline.h"
#include "run/RunSummary.h"
#include "workbook/Workbook.h"

namespace vontralek::sheet_run {

// The Batch sheet as the pipeline's sink: a solved sample's results K:CA
// (with the extras CB:CD and "ok" in CE as the settings ask), a failed one's
// row cleared and its reason in CE. Between two samples a SIGINT or SIGTERM
// noted since ends the run.
class BatchSink : public ResultSink {
public:
  BatchSink(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary, const RunOptions& options)
      : state_(state), workbook_(workbook), summary_(summary), options_(options) {}

  void Prepare(SampleRow&, const ModelState*) override {}

  void Write(SampleRow& row) override;

  double writeSeconds = 0;

private:
  const ModelState& state_;
  workbook::Workbook& workbook_;
  RunSummary& summary_;
  const RunOptions& options_;
};

// The reason a sample failed, on one line of at most 255 bytes for its status
// cell (cut at a UTF-8 character boundary, "..." marking the cut).
std::string OneLine(std::string text);

// Empties what the run writes on batch sample k's row (the sheet holding pair): the results, the
// extra results when the run writes them, the status when the column is kept.
// For a failed sample, and for every sample after the last one a stopped run
// processed, so that no row keeps an earlier run's results or "ok" beside
// inputs that may have changed since. Every column the run writes on a
// sample's row is emptied here.
void ClearBatchSample(workbook::Workbook& workbook, const RunSummary& summary, CarbonatePair pair, std::int64_t k);

// The sink of a failed batch sample: its results cleared, its reason in the
// status column when that is kept; with "continue" the run goes on, else it
// stops.
void RecordBatchFailure(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary,
                        const std::string& reason);

// The sink of a calculated batch sample: its row of results.
void WriteBatchResults(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary);

} // namespace vontralek::sheet_run
