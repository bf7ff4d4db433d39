#include <string>

#include <fmt/format.h>

#include "run/RunSummary.h"

namespace vontralek {

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
