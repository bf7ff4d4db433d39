#include "run/BatchSink.h"

#include "report/BatchReport.h"
#include "report/ExtraResults.h"
#include "report/ReactionReport.h"
#include "run/InputHeadings.h"
#include "run/MineralRun.h"
#include "run/RunSteps.h"
#include "run/Stopwatch.h"

namespace vontralek::sheet_run {

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

void ClearBatchSample(workbook::Workbook& workbook, const RunSummary& summary, CarbonatePair pair, std::int64_t k) {
  ClearBatchRow(workbook, k);
  if (summary.settings.extraResults) ClearExtraResults(workbook, DataSheet::Batch, k);
  ClearMineralColumns(workbook, DataSheet::Batch, k, summary.settings);
  ClearReactionResults(workbook, DataSheet::Batch, k, ReactionColumnsOf(summary.settings, pair));
  if (summary.statusColumn) ClearSampleStatus(workbook, k);
}

void RecordBatchFailure(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary,
                        const std::string& reason) {
  const std::int64_t k = state.CurrentSample;
  const bool keepGoing = summary.settings.onFailure == FailurePolicy::Continue;
  summary.written = true;
  Guarded(
      state, summary, [k] { return "The results of " + BatchSampleText(k) + " could not be cleared"; },
      [&] {
        // No earlier run's results stay beside inputs they do not belong to.
        ClearBatchSample(workbook, summary, state.InputPair, k);
        if (summary.statusColumn) WriteSampleStatus(workbook, k, OneLine(reason));
      });
  if (!keepGoing) throw RunError(reason, DescribeRunProgress(state.SheetMode, summary, ""));
  summary.samplesFailed += 1;
  if (summary.firstFailedRows.size() < RunSummary::kFailedRowsListed) summary.firstFailedRows.push_back(k + 1);
}

void WriteBatchResults(const ModelState& state, workbook::Workbook& workbook, RunSummary& summary) {
  const std::int64_t k = state.CurrentSample;
  summary.written = true;
  Guarded(
      state, summary, [k] { return "The results of " + BatchSampleText(k) + " could not be written"; },
      [&] {
        WriteBatchRow(state, workbook);
        if (summary.settings.extraResults) WriteExtraResults(state, workbook);
        if (summary.statusColumn) WriteSampleStatus(workbook, k, "ok");
        WriteMineralColumns(state, workbook, summary.settings);
        WriteReactionResults(state, workbook, DataSheet::Batch, k,
                             ReactionColumnsOf(summary.settings, state.InputPair));
      });
  summary.samplesDone += 1;
}

void BatchSink::Write(SampleRow& row) {
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

} // namespace vontralek::sheet_run
