#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "model/Errors.h"
#include "model/ModelState.h"
#include "run/Progress.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Whatever ends a run: the message names the worksheet, cell or sample row,
// the cause, and how far the run got (results of earlier samples are saved).
class RunError : public VontralekError {
public:
  using VontralekError::VontralekError;
};

// The run proper over an open workbook: machine epsilon, parameter loading,
// then the single sample of the Main sheet (SheetMode "A") or every sample of
// the Batch sheet (SheetMode "B"). Throws on the first error; cells written
// before it stay written.
void RunCalculation(ModelState& state, workbook::Workbook& workbook, ProgressListener* progress);

struct RunRequest {
  std::filesystem::path workbookPath;
  std::optional<std::filesystem::path> outputPath; // write here, leave the input untouched
  std::string sheetMode = "A";                     // "A" Main, "B" Batch
  std::string inputPair = "A";                     // "A", "B" or "C"
};

struct RunSummary {
  std::int64_t samplesDone = 0;
  double openSeconds = 0, solveSeconds = 0, writeSeconds = 0, saveSeconds = 0;
};

// Opens the workbook, runs, and saves it (also after an error, so the results
// of earlier samples are kept); an error is rethrown as RunError after saving.
RunSummary RunWorkbook(ModelState& state, const RunRequest& request, ProgressListener* progress);

// The workbook the programs use when none is named: VONTRALEK.xls in the
// program's folder, else VONTRALEK.xlsx. Throws RunError naming the folder and
// both file names when neither exists.
std::filesystem::path DefaultWorkbookPath(const std::filesystem::path& programFolder);

} // namespace vontralek
