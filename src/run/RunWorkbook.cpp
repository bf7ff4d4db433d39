#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <system_error>

#include "run/Run.h"

namespace vontralek {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

} // namespace

RunSummary RunWorkbook(ModelState& state, const RunRequest& request, ProgressListener* progress) {
  RunSummary summary;
  state.SheetMode = request.sheetMode;
  state.InputPair = request.inputPair;

  auto start = Clock::now();
  std::unique_ptr<workbook::Workbook> workbook;
  try {
    workbook = workbook::OpenWorkbook(request.workbookPath);
  } catch (const std::exception& error) {
    throw RunError(std::string(error.what()), "Nothing was calculated and the workbook was not changed.");
  }
  summary.openSeconds = SecondsSince(start);

  const std::filesystem::path target = request.outputPath ? *request.outputPath : request.workbookPath;
  const auto save = [&] {
    const auto saveStart = Clock::now();
    if (request.outputPath) {
      workbook->SaveAs(*request.outputPath);
    } else {
      workbook->Save();
    }
    summary.saveSeconds = SecondsSince(saveStart);
  };

  // A batch opens on its own sheet, where the user looks for the results.
  if (state.SheetMode == "B") {
    try {
      workbook->Activate(2);
    } catch (const std::exception& error) {
      throw RunError("The Batch sheet (worksheet 2) could not be used: " + std::string(error.what()),
                     "Nothing was calculated and the workbook was not changed.");
    }
  }

  try {
    RunCalculation(state, *workbook, progress, &summary);
  } catch (const RunError& error) {
    // Results of the samples before the error are kept, as they would stay in
    // an open workbook: save them (the input cells were never written).
    try {
      save();
    } catch (const std::exception& saveError) {
      throw RunError(error.Cause(), DescribeRunProgress(state.SheetMode, summary, "") + " Saving the results to " +
                                        target.string() + " failed as well: " + saveError.what());
    }
    throw RunError(error.Cause(), DescribeRunProgress(state.SheetMode, summary, target.string()));
  }

  try {
    save();
  } catch (const std::exception& error) {
    throw RunError(std::string(error.what()),
                   "The results were calculated but could not be saved; " + target.string() + " was left as it was.");
  }
  return summary;
}

std::filesystem::path DefaultWorkbookPath(const std::filesystem::path& programFolder) {
  std::error_code ignored;
  for (const char* name : {"VONTRALEK.xls", "VONTRALEK.xlsx"}) {
    const std::filesystem::path candidate = programFolder / name;
    if (std::filesystem::is_regular_file(candidate, ignored)) return candidate;
  }
  throw RunError("No workbook was found: the folder " + programFolder.string() +
                 " holds neither VONTRALEK.xls nor VONTRALEK.xlsx. Put the workbook there or name it on the "
                 "command line.");
}

} // namespace vontralek
