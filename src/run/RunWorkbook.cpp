#include <cctype>
#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <system_error>

#include "run/Run.h"
#include "run/Stopwatch.h"

namespace vontralek {

namespace {

std::string LowerExtension(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

} // namespace

RunSummary RunWorkbook(ModelState& state, const RunRequest& request, ProgressListener* progress) {
  RunSummary summary;
  state.SheetMode = DataSheetFromCode(request.sheetMode);
  state.InputPair = CarbonatePairFromCode(request.inputPair);

  // The results are saved in the format of the workbook they were read from:
  // a different extension would give a file whose name lies about its content.
  if (request.outputPath && LowerExtension(*request.outputPath) != LowerExtension(request.workbookPath)) {
    throw RunError("The output file " + request.outputPath->string() + " has another extension than the workbook " +
                       request.workbookPath.string() + ": the results are saved in the workbook's own format.",
                   "Nothing was calculated. Name the output file with the extension " +
                       LowerExtension(request.workbookPath) + ".");
  }

  auto start = RunClock::now();
  std::unique_ptr<workbook::Workbook> workbook;
  try {
    workbook = workbook::OpenWorkbook(request.workbookPath);
  } catch (const std::exception& error) {
    throw RunError(std::string(error.what()), "Nothing was calculated and the workbook was not changed.");
  }
  summary.openSeconds = SecondsSince(start);

  const std::filesystem::path target = request.outputPath ? *request.outputPath : request.workbookPath;
  const auto save = [&] {
    const auto saveStart = RunClock::now();
    if (request.outputPath) {
      workbook->SaveAs(*request.outputPath);
    } else {
      workbook->Save();
    }
    summary.saveSeconds = SecondsSince(saveStart);
  };

  // A batch opens on its own sheet, where the user looks for the results.
  if (state.SheetMode == DataSheet::Batch) {
    try {
      workbook->Activate(2);
    } catch (const std::exception& error) {
      throw RunError("The Batch sheet (worksheet 2) could not be used: " + std::string(error.what()),
                     "Nothing was calculated and the workbook was not changed.");
    }
  }

  // Results of the samples before an error are kept, as they would stay in an
  // open workbook: save them (the input cells were never written).
  const auto saveAfter = [&](const std::string& cause) {
    try {
      save();
    } catch (const std::exception& saveError) {
      throw RunError(cause, DescribeRunProgress(CodeOf(state.SheetMode), summary, "") + " Saving the results to " +
                                target.string() + " failed as well: " + saveError.what());
    }
    throw RunError(cause, DescribeRunProgress(CodeOf(state.SheetMode), summary, target.string()));
  };
  try {
    RunCalculation(state, *workbook, progress, &summary);
  } catch (const RunError& error) {
    saveAfter(error.Cause());
  } catch (const std::exception& error) {
    // Anything else, for example from whatever shows the progress.
    saveAfter(std::string("The run stopped: ") + error.what());
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
