#include "ui/ProgramServices.h"

#include <QCoreApplication>

#include "run/Interruption.h"
#include "run/Run.h"

namespace vontralek::ui {

RunServices ProgramServices(const std::filesystem::path& namedWorkbook, const QString& screenshotDir) {
  RunServices services;
  services.run = [](ModelState& state, RunRequest request, ProgressListener* progress) {
    request.options.stopSignal = &StopSignal(); // SIGINT/SIGTERM end the run after the current sample
    return RunWorkbook(state, request, progress);
  };
  services.locateWorkbook = [namedWorkbook] {
    if (!namedWorkbook.empty()) return namedWorkbook;
    // Beside the program in the build tree; installed, the user's own copy of the template.
    return LocateDefaultWorkbook(std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String()),
                                 UserDataPlacesFromEnvironment())
        .path;
  };
  services.endProgram = [](int code) { QCoreApplication::exit(code); };
  services.screenshotDir = screenshotDir;
  return services;
}

} // namespace vontralek::ui
