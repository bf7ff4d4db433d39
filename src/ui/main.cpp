// vontralek: the desktop program. Shows the main window; the workbook is the
// program's one argument, or VONTRALEK.xls / VONTRALEK.xlsx in its own folder.

#include <cstdio>
#include <filesystem>
#include <string_view>

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "model/ModelState.h"
#include "run/Interruption.h"
#include "ui/Form1.h"
#include "ui/ProgramServices.h"

namespace {

// The program's arguments: --help, --version and one optional workbook.
void DescribeArguments(QCommandLineParser& parser) {
  QCoreApplication::setApplicationName(QStringLiteral("VONTRALEK"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VONTRALEK_VERSION));
  parser.setApplicationDescription(
      QStringLiteral("Speciates the water analyses of a VONTRALEK workbook: the single sample of the Main sheet or "
                     "every sample row of the Batch sheet."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("workbook"),
                               QStringLiteral("The workbook; default VONTRALEK.xls, else VONTRALEK.xlsx, in the "
                                              "program's folder; installed, your own copy in "
                                              "$XDG_DATA_HOME/vontralek/ (else ~/.local/share/vontralek/)."),
                               QStringLiteral("[workbook]"));
}

// --help and --version need no screen: answered without opening a window
// system connection, so that they work on a terminal without a display.
bool AsksOnlyForText(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" || arg == "--version") return true;
  }
  return false;
}

} // namespace

int main(int argc, char* argv[]) {
  if (AsksOnlyForText(argc, argv)) {
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    DescribeArguments(parser);
    parser.process(core); // prints and ends the program
    return 0;
  }
  QApplication app(argc, argv); // takes Qt's own options out of argv
  QCommandLineParser parser;
  DescribeArguments(parser);
  parser.process(app);
  const QStringList positional = parser.positionalArguments();
  if (positional.size() > 1) {
    std::fprintf(stderr, "%s: name at most one workbook (%lld were named).\n%s", argv[0],
                 static_cast<long long>(positional.size()), qPrintable(parser.helpText()));
    return 2;
  }
  std::filesystem::path namedWorkbook;
  if (positional.size() == 1) namedWorkbook = std::filesystem::path(positional.at(0).toStdU16String());

  // SIGINT/SIGTERM: a run ends after its current sample and saves (the run
  // polls the note); while no run is going the program ends at once.
  vontralek::InstallStopHandlers();
  QTimer stopWatch;
  QObject::connect(&stopWatch, &QTimer::timeout, [] {
    if (const int signal = vontralek::StopSignal().load())
      QCoreApplication::exit(vontralek::ExitStatusForSignal(signal));
  });
  stopWatch.start(200);

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
