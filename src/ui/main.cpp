// vontralek: the desktop program. Shows the main window; the workbook is the
// program's one argument, or VONTRALEK.xls / VONTRALEK.xlsx in its own folder.

#include <cstdio>
#include <filesystem>

#include <QApplication>
#include <QPointer>
#include <QString>

#include "model/ModelState.h"
#include "ui/Form1.h"
#include "ui/ProgramServices.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv); // takes Qt's own options out of argv
  QApplication::setApplicationName(QStringLiteral("VONTRALEK"));

  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 2) {
    std::fprintf(stderr, "usage: %s [workbook]\n", argv[0]);
    return 2;
  }
  std::filesystem::path namedWorkbook;
  if (arguments.size() == 2) namedWorkbook = std::filesystem::path(arguments.at(1).toStdU16String());

  // One model state for the whole program: all zero at start, never cleared.
  vontralek::ModelState state;
  auto* form1 = new vontralek::ui::Form1(
      state, vontralek::ui::ProgramServices(namedWorkbook, qEnvironmentVariable("VONTRALEK_SCREENSHOT_DIR")));
  form1->show();
  const int code = QApplication::exec();
  // Windows still open after an error that ended the program; deleting one
  // may delete another that it owns.
  const QWidgetList open = QApplication::topLevelWidgets();
  QList<QPointer<QWidget>> windows(open.begin(), open.end());
  for (const QPointer<QWidget>& window : windows) delete window.data();
  return code;
}
