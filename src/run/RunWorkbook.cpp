#include <cctype>
#include <chrono>
#include <csignal>
#include <exception>
#include <memory>
#include <string>
#include <system_error>

#include "layout/Layout.h"
#include "layout/WorkbookLayout.h"
#include "run/RunCalculation.h"
#include "run/RunWorkbook.h"
#include "run/Stopwatch.h"

namespace vontralek {

namespace {

std::string LowerExtension(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::string SignalName(int signal) {
  if (signal == SIGINT) return "Ctrl-C (SIGINT)";
  if (signal == SIGTERM) return "SIGTERM";
  return "signal " + std::to_string(signal);
}

int NotedSignal(const RunOptions& options) { return options.stopSignal != nullptr ? options.stopSignal->load() : 0; }

constexpr const char* kUnchanged = "Nothing was calculated and the workbook was not changed.";

} // namespace

RunSummary RunWorkbook(ModelState& state, const RunRequest& request, ProgressListener* progress) {
  RunSummary summary;
  state.SheetMode = request.sheetMode;
  state.InputPair = request.inputPair;

  // The results are saved in the format of the workbook they were read from:
  // a different extension would give a file whose name lies about its content.
  if (request.outputPath && LowerExtension(*request.outputPath) != LowerExtension(request.workbookPath)) {
    throw RunError("The output file " + request.outputPath->string() + " has another extension than the workbook " +
                       request.workbookPath.string() + ": the results are saved in the workbook's own format.",
                   "Nothing was calculated. Name the output file with the extension " +
                       LowerExtension(request.workbookPath) + ".");
  }

  const std::filesystem::path target = request.outputPath ? *request.outputPath : request.workbookPath;
  auto start = RunClock::now();
  std::unique_ptr<workbook::Workbook> workbook;
  try {
    workbook = workbook::OpenWorkbook(request.workbookPath);
    // A target the run could not save to (or not without harm) is refused now,
    // not after the calculation.
    workbook->CheckSaveTo(target);
    layout::CheckWorkbookLayout(*workbook);
    // A large Batch sheet keeps its rows in a temporary file until the save:
    // room for them, with every column up to the last a batch fills, is checked now.
    if (state.SheetMode == DataSheet::Batch)
      workbook->CheckRoomToWrite(layout::BatchSheet, layout::batch_sheet::Temperature, target);
  } catch (const std::exception& error) {
    if (const int signal = NotedSignal(request.options)) {
      workbook.reset();
      workbook::RemoveTemporaryFiles();
      throw RunStopped("The run was stopped by " + SignalName(signal) + " while the workbook was being opened.",
                       kUnchanged, signal);
    }
    throw RunError(std::string(error.what()), kUnchanged);
  }
  summary.openSeconds = SecondsSince(start);

  const auto save = [&] {
    const auto saveStart = RunClock::now();
    if (request.outputPath) {
      workbook->SaveAs(*request.outputPath);
    } else {
      workbook->Save();
    }
    summary.saveSeconds = SecondsSince(saveStart);
  };

  // Results of the samples before an error are kept, as they would stay in an
  // open workbook: save them (the input cells were never written). A run that
  // failed before writing anything leaves the file untouched. Returns the
  // account of how far the run got.
  const auto saveAfterError = [&](const std::string& cause, bool interrupted = false) -> std::string {
    if (!summary.written) return kUnchanged;
    try {
      save();
    } catch (const std::exception& saveError) {
      throw RunError(cause, DescribeRunProgress(state.SheetMode, summary, "") + " Saving the results to " +
                                target.string() + " failed as well: " + saveError.what());
    }
    return DescribeRunProgress(state.SheetMode, summary, target.string(), interrupted);
  };
  try {
    // A batch opens on its own sheet, where the user looks for the results.
    if (state.SheetMode == DataSheet::Batch) workbook->Activate(layout::BatchSheet);
    RunCalculation(state, *workbook, progress, &summary, request.options);
  } catch (const RunStopped& stopped) {
    const std::string progressText = saveAfterError(stopped.Cause(), true);
    workbook.reset();
    workbook::RemoveTemporaryFiles();
    throw RunStopped(stopped.Cause(), progressText, stopped.Signal());
  } catch (const RunError& error) {
    throw RunError(error.Cause(), saveAfterError(error.Cause()));
  } catch (const std::exception& error) {
    // Anything else, for example from whatever shows the progress.
    const std::string cause = std::string("The run stopped: ") + error.what();
    throw RunError(cause, saveAfterError(cause));
  }

  // No sample calculated (an empty batch): nothing to save, the file stays as it was.
  if (!summary.written) return summary;
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
