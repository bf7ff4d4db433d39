#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include <QString>

#include "diagram/DiagramSample.h"
#include "model/ModelState.h"
#include "run/Progress.h"
#include "run/Run.h"

namespace vontralek::ui {

// What the windows need from the rest of the program. The program binds the
// real run and the real workbook search; tests bind fakes, so the windows can
// be exercised without a workbook on disk.
struct RunServices {
  // Opens the workbook named in the request, runs it and saves it (RunWorkbook).
  std::function<RunSummary(ModelState&, const RunRequest&, ProgressListener*)> run;
  // The workbook to attach: the program's argument, else VONTRALEK.xls or
  // VONTRALEK.xlsx in the program's folder. Throws RunError when there is none.
  std::function<std::filesystem::path()> locateWorkbook;
  // Ends the program at once with the exit code, without closing events.
  std::function<void(int)> endProgram;
  // After a run that succeeded: what it did and its samples' major ions (the
  // program shows its end window); empty: the windows just close.
  std::function<void(const RunRequest&, const RunSummary&, std::vector<diagram::DiagramSample>)> finished;
  // Opens a file in the desktop's program for it; false when none could.
  std::function<bool(const std::filesystem::path&)> openFile;
  // When not empty, each window saves a picture of itself here (Form1.png once
  // shown, Form2.png after the first progress update).
  QString screenshotDir;
};

} // namespace vontralek::ui
