#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "run/Progress.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Whatever ends a run: the message names the worksheet, cell or sample row,
// the cause, and how far the run got (results of earlier samples are saved).
class RunError : public VontralekError {
public:
  using VontralekError::VontralekError;
  // cause: what went wrong and where; progress: how far the run got.
  RunError(const std::string& cause, const std::string& progress)
      : VontralekError(progress.empty() ? cause : cause + " " + progress), cause_(cause) {}
  // The message without the account of how far the run got.
  std::string Cause() const { return cause_.empty() ? std::string(what()) : cause_; }

private:
  std::string cause_;
};

// The run was stopped by SIGINT or SIGTERM between two samples; the samples
// before were kept.
class RunStopped : public RunError {
public:
  RunStopped(const std::string& cause, const std::string& progress, int signal)
      : RunError(cause, progress), signal_(signal) {}
  int Signal() const { return signal_; }

private:
  int signal_;
};

struct RunSummary {
  std::int64_t samplesDone = 0;    // samples solved and written
  std::int64_t samplesReached = 0; // the last sample processed (calculated or failed with its reason)
  std::int64_t samplesFound = 0;   // batch: samples found in column A; single sample: 1
  double openSeconds = 0, solveSeconds = 0, writeSeconds = 0, saveSeconds = 0;
  double readSeconds = 0; // parameters, headings and sample inputs
  // Something was written to the workbook. A run that stops before (while
  // reading and checking its inputs) leaves the file as it was.
  bool written = false;
  // With "continue": samples that failed and got their reason, and the rows
  // of the first of them (at most kFailedRowsListed).
  std::int64_t samplesFailed = 0;
  std::vector<std::int64_t> firstFailedRows;
  static constexpr std::size_t kFailedRowsListed = 10;
  RunSettings settings; // as the run used them: the workbook's, then the overrides
};

// How a run is driven beyond the workbook's own settings.
struct RunOptions {
  // Override the workbook's settings for this run (command line).
  std::optional<SpeciationModel> model;
  std::optional<bool> extraResults;
  std::optional<FailurePolicy> onFailure;
  // When not null, polled between samples: a signal number other than 0 (set
  // by a SIGINT/SIGTERM handler) ends the run after the current sample.
  const std::atomic<int>* stopSignal = nullptr;
};

// The run proper over an open workbook: machine epsilon, parameter loading and
// every input that can be checked before a sample is calculated (the Main
// sheet's sample), all before anything is written; then the single sample of
// the Main sheet or every sample of the Batch sheet. Throws RunError on the
// first error; cells written before it stay written, the result cells of the
// failing sample are cleared. summary (optional) is kept up to date as the run
// goes, so that it tells how far the run got even after an error.
void RunCalculation(ModelState& state, workbook::Workbook& workbook, ProgressListener* progress,
                    RunSummary* summary = nullptr, const RunOptions& options = {});

struct RunRequest {
  std::filesystem::path workbookPath;
  std::optional<std::filesystem::path> outputPath; // write here, leave the input untouched
  DataSheet sheetMode = DataSheet::Main;
  CarbonatePair inputPair = CarbonatePair::AlkalinityPH;
  RunOptions options;
};

// Opens the workbook, refuses a target it could not save to, runs, and saves it
// (also after an error, so the results of earlier samples are kept); an error
// is rethrown as RunError after saving. A run that fails before anything was
// written leaves the file byte for byte as it was. A run stopped by a signal
// throws RunStopped after saving, with the temporary files removed.
RunSummary RunWorkbook(ModelState& state, const RunRequest& request, ProgressListener* progress);

// The workbook the programs use when none is named: VONTRALEK.xls in the
// program's folder, else VONTRALEK.xlsx. Throws RunError naming the folder and
// both file names when neither exists.
std::filesystem::path DefaultWorkbookPath(const std::filesystem::path& programFolder);

// How far a run got, for the messages: "Samples 1 to 3 (rows 2 to 4) were
// calculated and saved to ...; ..." (savedTo empty: not saved).
std::string DescribeRunProgress(DataSheet sheetMode, const RunSummary& summary, const std::string& savedTo);

// The account of a batch whose failed samples got their reasons ("continue"):
// "990 samples calculated, 10 failed (their reasons are in column CE); first
// failing rows: 12, 100, ...".
std::string DescribeFailures(const RunSummary& summary);

} // namespace vontralek
