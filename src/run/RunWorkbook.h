#pragma once

#include <filesystem>
#include <optional>

#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "run/Progress.h"
#include "run/RunError.h"
#include "run/RunSummary.h"

namespace vontralek {

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

} // namespace vontralek
