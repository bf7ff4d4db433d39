#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/Errors.h"
#include "model/ModelState.h"
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

struct RunSummary {
  std::int64_t samplesDone = 0;  // samples solved and written
  std::int64_t samplesFound = 0; // batch: samples found in column A; single sample: 1
  double openSeconds = 0, solveSeconds = 0, writeSeconds = 0, saveSeconds = 0;
  double readSeconds = 0; // parameters, headings and sample inputs
};

// The run proper over an open workbook: machine epsilon, parameter loading,
// then the single sample of the Main sheet or every sample of the Batch sheet. Throws RunError on the first error;
// cells written before it stay written. summary (optional) is kept up to date as the run goes, so that it tells how far
// the run got even after an error.
void RunCalculation(ModelState& state, workbook::Workbook& workbook, ProgressListener* progress,
                    RunSummary* summary = nullptr);

struct RunRequest {
  std::filesystem::path workbookPath;
  std::optional<std::filesystem::path> outputPath; // write here, leave the input untouched
  DataSheet sheetMode = DataSheet::Main;
  CarbonatePair inputPair = CarbonatePair::AlkalinityPH;
};

// Opens the workbook, runs, and saves it (also after an error, so the results
// of earlier samples are kept); an error is rethrown as RunError after saving.
RunSummary RunWorkbook(ModelState& state, const RunRequest& request, ProgressListener* progress);

// The workbook the programs use when none is named: VONTRALEK.xls in the
// program's folder, else VONTRALEK.xlsx. Throws RunError naming the folder and
// both file names when neither exists.
std::filesystem::path DefaultWorkbookPath(const std::filesystem::path& programFolder);

// How far a run got, for the messages: "Samples 1 to 3 (rows 2 to 4) were
// calculated and saved to ...; ..." (savedTo empty: not saved).
std::string DescribeRunProgress(DataSheet sheetMode, const RunSummary& summary, const std::string& savedTo);

} // namespace vontralek
