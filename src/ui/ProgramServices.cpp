#include "ui/ProgramServices.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include "run/Interruption.h"
#include "run/Run.h"
#include "ui/RunEndWindow.h"

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
  services.openFile = [](const std::filesystem::path& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdU16String(file.u16string())));
  };
  // The end window with a copy of these services (without itself).
  services.finished = [services](const RunRequest& request, const RunSummary& summary,
                                 std::vector<diagram::DiagramSample> samples) {
    ShowRunEnd(services, request, summary, std::move(samples));
  };
  return services;
}

} // namespace vontralek::ui
