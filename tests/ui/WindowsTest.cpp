// The main and the progress window on the offscreen platform (96 dpi, so 15
// twips make one pixel), with fake services recording what the windows ask.

#include <memory>

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "ui/DiagramWindow.h"
#include "ui/Form1.h"
#include "ui/Form2.h"
#include "ui/RunEndWindow.h"
#include "ui/WindowKit.h"

using namespace vontralek;
using namespace vontralek::ui;

namespace {

// The choices in the outcome texts: sheet A (Main) or B (Batch); pair A (alkalinity, pH), B (alkalinity, pCO2) or C
// (bicarbonate, carbonate); none is empty.
QString Letter(DataSheet sheet) { return sheet == DataSheet::None ? "" : sheet == DataSheet::Main ? "A" : "B"; }
QString Letter(CarbonatePair pair) { return pair == CarbonatePair::None ? "" : QString(QChar('A' + int(pair) - 1)); }

// Every control of both windows: parent, caption, geometry in twips from the
// form design (all multiples of 15, so the pixels are exact) and font size.
struct Control {
  const char *window, *name, *parent, *caption;
  QRect twips;
  double points;
  bool bold = false;
};
const Control kControls[] = {
    {"Form1", "Form1", "", "VONTRALEK", {0, 0, 6840, 7830}, 8.25},
    {"Form1", "Label1", "Form1", "Welcome to VONTRALEK", {1200, 240, 4575, 615}, 15.75, true},
    {"Form1", "Frame1", "Form1", "Select a data sheet ", {480, 1080, 5895, 1815}, 12}, // trailing space kept
    {"Form1", "Option1_0", "Frame1", "Main", {360, 480, 5175, 495}, 9.75},
    {"Form1", "Option1_1", "Frame1", "Batch", {360, 1080, 5175, 375}, 9.75},
    {"Form1", "Frame2", "Form1", "Select the variables featuring the carbonic system", {480, 3120, 5895, 3495}, 12},
    {"Form1", "Option2_0", "Frame2", "Alkalinity and pH", {360, 480, 5175, 495}, 9.75},
    {"Form1", "Option2_1", "Frame2", "Alkalinity and pCO2", {360, 1080, 4455, 375}, 9.75},
    {"Form1", "Option2_2", "Frame2", "Bicarbonate and carbonate concentrations", {360, 1680, 4575, 375}, 9.75},
    {"Form1", "Option2_3", "Frame2", "DIC and pH", {360, 2280, 4575, 375}, 9.75},
    {"Form1", "Option2_4", "Frame2", "Alkalinity and DIC", {360, 2880, 4575, 375}, 9.75},
    {"Form1", "Command1", "Form1", "Calculate", {840, 6840, 2415, 615}, 9.75},
    {"Form1", "Command2", "Form1", "Cancel", {3600, 6840, 2415, 615}, 9.75},
    {"Form2", "Form2", "", "VONTRALEK", {0, 0, 6870, 2745}, 8.25},
    {"Form2", "Label1", "Form2", "VONTRALEK busy ...", {480, 360, 4095, 375}, 15.75},
    {"Form2", "Frame1", "Form2", "", {600, 1200, 5655, 975}, 12},
    {"Form2", "Label2", "Frame1", "", {240, 360, 15, 375}, 12}, // the bar, one pixel wide at first
};

// Clicks on the main window ("-" unchecks a button), a service that fails, the message box shown, what the windows did
// after each click on Calculate or Cancel (see Outcome), what the progress window showed before each sample.
struct Scenario {
  const char *name, *clicks, *failure, *box, *outcomes, *progress = "";
};
const char kMessage[] = "Worksheet \"Batch\", cell E4 (sample row 4): the text \"ND\" is not a number.";
const Scenario kScenarios[] = {
    // Main: the sample runs in the workbook itself, inside the click, without
    // progress, while the window is up; then it closes (pH: after the warnings).
    {"Main, alkalinity and pCO2", "Option2_1 Command1", "", "",
     "1 located; ran AB /book.xlsx +Form1; ended ; shown ; codes A/B"},
    {"Main, bicarbonate and carbonate", "Option2_2 Command1", "", "",
     "1 located; ran AC /book.xlsx +Form1; ended ; shown ; codes A/C"},
    // Cancel ends the program without attaching the workbook.
    {"Cancel", "Command2", "", "", "0 located; ran ; ended 0; shown Form1; codes /B"},
    // The workbook is attached before the choices are looked at; after a
    // warning nothing runs, the earlier pair is kept, the window stays.
    {"no data sheet", "-Option1_0 Command1 Option1_0 Command1", "", "Please, select type of data to be processed",
     "1 located; ran ; ended ; shown Form1; codes /B then "
     "2 located; ran AA /book.xlsx +Form1; ended ; shown ; codes A/A"},
    {"no pair", "-Option2_0 Command1 Option2_0 Command1", "", "Please, select variables featuring the carbonic system",
     "1 located; ran ; ended ; shown Form1; codes /B then "
     "2 located; ran AA /book.xlsx +Form1; ended ; shown ; codes A/A"},
    // Batch: the progress window shows, then runs the batch and closes. Before sample k of N it shows k * 100 / N %
    // rounded half to even, a bar of 5175 * k / N twips and so many / 15 pixels, rounded to the nearest. 12.5, 37.5,
    // 62.5 and 87.5 % are ties that go to the even integer; 646.875 twips a sample.
    {"Batch of 8", "Option1_1 Command1", "", "", "1 located; ran BA /book.xlsx +progress; ended ; shown ; codes B/A",
     "12% completed 646.875 43, 25% completed 1293.75 86, 38% completed 1940.625 129, 50% completed 2587.5 173, "
     "62% completed 3234.375 216, 75% completed 3881.25 259, 88% completed 4528.125 302, 100% finishing 5175 345"},
    // An error that ends the run, or the search for the workbook, is shown with its whole message and ends the program.
    {"no workbook", "Command1", "locate", kMessage, "1 located; ran ; ended 1; shown Form1; codes /B"},
    {"Main, other failure", "Command1", "other", kMessage,
     "1 located; ran AA /book.xlsx +Form1; ended 1; shown Form1; codes A/A"},
    {"Batch, cell error", "Option1_1 Command1", "cell", kMessage,
     "1 located; ran BA /book.xlsx +progress; ended 1; shown Form2; codes B/A"},
    // A batch that went on past a failed sample: its summary, then the window closes as after a success.
    {"Batch, a sample failed", "Option1_1 Command1", "sample",
     "2 samples calculated, 1 failed (their reasons are in column CE); first failing rows: 4. Model: as specified.",
     "1 located; ran BA /book.xlsx +progress; ended ; shown ; codes B/A"},
};

const QString kWarning = "VONTRALEK / warning / OK / "; // title, icon, buttons of every message box

} // namespace

class WindowsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<ModelState> state_;
  QPointer<Form1> form_;
  struct Seen {
    int locateCalls = 0;
    QStringList runs, ends, boxes;
    std::function<void(const QString&, ProgressListener*)> hook; // may throw at "locate" or "run"
    bool sampleFailed = false;                                   // the run reports one failed sample
  } seen_;

  RunServices Fake() {
    RunServices s;
    s.locateWorkbook = [this] {
      ++seen_.locateCalls;
      if (seen_.hook) seen_.hook("locate", nullptr);
      return std::filesystem::path("/book.xlsx");
    };
    s.run = [this](ModelState&, const RunRequest& r, ProgressListener* progress) {
      seen_.runs << Letter(r.sheetMode) + Letter(r.inputPair) + u' ' + QString::fromStdString(r.workbookPath.string()) +
                        (r.outputPath ? " +copy" : "") + (progress ? " +progress" : "") +
                        (form_ && form_->isVisible() ? " +Form1" : "");
      if (seen_.hook) seen_.hook("run", progress);
      RunSummary summary;
      if (seen_.sampleFailed)
        std::tie(summary.samplesDone, summary.samplesFailed, summary.firstFailedRows) =
            std::tuple(2, 1, std::vector<std::int64_t>{4});
      return summary;
    };
    s.endProgram = [this](int code) { seen_.ends << QString::number(code); };
    return s;
  }

  // Workbook searches, runs (codes, workbook, "+progress" with a listener,
  // "+Form1" while it showed), exit codes, windows shown, the model's codes.
  QString Outcome() {
    QStringList shown;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && !qobject_cast<QMessageBox*>(w)) shown << w->objectName();
    return QString("%1 located; ran %2; ended %3; shown %4; codes %5/%6")
        .arg(seen_.locateCalls)
        .arg(seen_.runs.join(", "), seen_.ends.join(" "), shown.join(" "), Letter(state_->SheetMode),
             Letter(state_->InputPair));
  }

  QWidget* Child(const QString& name) { return form_->findChild<QWidget*>(name); }
  bool painted_ = false; // the progress bar received a paint event
  bool eventFilter(QObject*, QEvent* e) override {
    painted_ = painted_ || e->type() == QEvent::Paint;
    return false;
  }

private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    // Dismisses the modal message box (a modeless one goes unseen), noting what it showed.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      const bool ok = box->standardButtons() == QMessageBox::Ok && box->buttons().size() == 1;
      const bool warning = box->icon() == QMessageBox::Warning;
      seen_.boxes << box->windowTitle() + (warning ? " / warning" : " / ?") + (ok ? " / OK / " : " / ? / ") +
                         box->text();
      box->done(QMessageBox::Ok);
    });
    timer->start(10);
  }

  void init() {
    state_ = std::make_unique<ModelState>();
    seen_ = Seen{};
    form_ = new Form1(*state_, Fake());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
  }

  void cleanup() {
    for (QWidget* w : QApplication::topLevelWidgets()) w->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void controls_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kControls)); ++i)
      QTest::addRow("%s.%s", kControls[i].window, kControls[i].name) << i;
  }

  void controls() {
    QFETCH(int, row);
    const Control& c = kControls[row];
    QWidget* window = QString(c.window) == "Form1" ? static_cast<QWidget*>(form_) : new Form2(*state_, {}, Fake());
    QWidget* w = window->objectName() == c.name ? window : window->findChild<QWidget*>(c.name);
    QVERIFY(w != nullptr);
    QCOMPARE(w->logicalDpiX(), 96);
    QCOMPARE(w->isWindow() ? "" : w->parentWidget()->objectName(), QString(c.parent));
    QCOMPARE(w->isWindow() ? w->windowTitle() : w->property(w->inherits("QGroupBox") ? "title" : "text").toString(),
             QString(c.caption));
    QCOMPARE(w->isWindow() ? QRect(QPoint(), w->size()) : w->geometry(),
             QRect(c.twips.x() / 15, c.twips.y() / 15, c.twips.width() / 15, c.twips.height() / 15));
    QCOMPARE(window->minimumSize(), window->maximumSize()); // the windows have a fixed size
    const QFont f = w->font();
    QCOMPARE(std::tuple(f.family(), f.pointSizeF(), f.bold(), f.italic() || f.underline() || f.strikeOut()),
             std::tuple(QString("Comic Sans MS"), c.points, c.bold, false));
  }

  // 1500 twips are 100 pixels at 96 dpi, 150 at 144 and 200 at 192; 5640 at 120 dpi: 376 * 1.25.
  void twipsScaleWithDpi() {
    QCOMPARE(QList<int>({TwipsToPixels(1500, 96), TwipsToPixels(1500, 144), TwipsToPixels(1500, 192),
                         TwipsToPixels(5640, 120)}),
             QList<int>({100, 150, 200, 470}));
  }

  void initialStateAndKeyboard() {
    // The focus on the first button, then the tab order; "*" marks the checked.
    QVERIFY(QTest::qWaitForWindowActive(form_));
    QStringList chain;
    for (QWidget* w = QApplication::focusWidget(); chain.size() < 9; w = w->nextInFocusChain())
      if (w->focusPolicy() != Qt::NoFocus)
        chain << w->objectName() + (qobject_cast<QAbstractButton*>(w)->isChecked() ? "*" : "");
    QCOMPARE(chain.join(' '),
             "Option1_0* Option1_1 Option2_0* Option2_1 Option2_2 Option2_3 Option2_4 Command1 Command2");
    // Neither button is default or cancel: Enter and Escape press nothing.
    for (const char* name : {"Option1_0", "Command1", "Command2"})
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(Child(name), key);
    QTest::qWait(20);
    QCOMPARE(Outcome(), "0 located; ran ; ended ; shown Form1; codes /");
  }

  void calculate_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kScenarios)); ++i) QTest::newRow(kScenarios[i].name) << i;
  }

  void calculate() {
    QFETCH(int, row);
    const Scenario& s = kScenarios[row];
    const QString failure = s.failure, box = s.box;
    state_->InputPair = CarbonatePair::AlkalinityPCO2; // left by an earlier run
    const QStringList expected = QString(s.progress).split(", ", Qt::SkipEmptyParts);
    QStringList shown;
    seen_.sampleFailed = failure == "sample";
    seen_.hook = [&](const QString& stage, ProgressListener* progress) {
      if (progress) { // caption, bar width in twips and pixels, painted before the run goes on
        auto* window = dynamic_cast<QWidget*>(progress);
        QVERIFY(window && window->objectName() == "Form2" && window->isVisible());
        QWidget* bar = window->findChild<QWidget*>("Label2");
        QVERIFY(bar->autoFillBackground() && bar->palette().color(QPalette::Window) == QColor(0, 255, 0));
        bar->installEventFilter(this); // notes its paints
        for (qsizetype k = 1; k <= expected.size(); ++k) {
          painted_ = false;
          progress->OnProgress(ShowProgress(k * 100.0 / expected.size()));
          shown << window->findChild<QWidget*>("Frame1")->property("title").toString() + ' ' +
                       QString::number(bar->property("twipsWidth").toDouble(), 'g', 17) + ' ' +
                       QString::number(bar->width()) + (painted_ ? "" : " unpainted");
        }
        // The window's own start triggers (activation, paint, fallback timer)
        // arrive while the run is busy and must not start a second one.
        QTest::qWait(700);
      }
      if (failure.isEmpty() || failure == "sample" || (stage == "locate") != (failure == "locate")) return;
      if (failure == "other") throw std::runtime_error(s.box);
      if (failure == "cell") throw TypeMismatchError(s.box);
      throw RunError(s.box);
    };
    QStringList outcomes;
    for (const QString& name : QString(s.clicks).split(' ')) {
      auto* button = qobject_cast<QAbstractButton*>(Child(name.mid(name.startsWith('-'))));
      if (name.startsWith('-')) button->setAutoExclusive(false); // so that a click unchecks it
      QTest::mouseClick(button, Qt::LeftButton);                 // off the caption: the whole rectangle reacts
      if (!name.startsWith("Command")) continue;
      QTest::qWait(20);
      QTRY_COMPARE(Outcome(), QString(s.outcomes).split(" then ").value(outcomes.size()));
      outcomes << Outcome();
    }
    QCOMPARE(outcomes.join(" then "), QString(s.outcomes));
    QCOMPARE(shown, expected);
    QCOMPARE(seen_.boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) // an unexpected failure is reported in the program's own words
      QVERIFY2(failure == "other" ? seen_.boxes[0].startsWith(kWarning) && seen_.boxes[0].contains(box)
                                  : seen_.boxes[0] == kWarning + box,
               qPrintable(seen_.boxes[0]));
  }

  // The end of a batch: its account, the workbook opened by the desktop, the three diagrams of the two samples
  // calculated (each figure's size: Stiff 2 panels of 260 x 143 under a 150-pixel key, 50 for the caption), the
  // shown one saved as SVG; Close closes both windows.
  void runEndAndDiagrams() {
    RunServices services = Fake();
    QStringList opened;
    services.openFile = [&](const std::filesystem::path& p) {
      return opened << QString::fromStdString(p.string()), true;
    };
    RunRequest request;
    std::tie(request.workbookPath, request.sheetMode) = std::tuple("/book.xlsx", DataSheet::Batch);
    RunSummary summary;
    std::tie(summary.samplesDone, summary.samplesFailed, summary.written) = std::tuple(2, 1, true);
    std::vector<diagram::DiagramSample> samples = {{"A", 4, 2, 1.5, 0.5, 0.5, 0.5, 2, 5}, {"B", 0, 0, 10}, {"C"}};
    std::tie(samples[1].cl, samples[2].failed) = std::tuple(10, true);
    QPointer<RunEndWindow> end = new RunEndWindow(services, request, summary, samples);
    end->show();
    QCOMPARE(end->findChild<QLabel*>("Label2")->text(),
             "Batch sheet: 2 samples calculated, 1 failed.\nModel: as specified.\nSaved to /book.xlsx.");
    QTest::mouseClick(end->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(opened, QStringList{"/book.xlsx"});
    QTest::mouseClick(end->findChild<QPushButton*>("Command2"), Qt::LeftButton);
    QPointer<DiagramWindow> diagrams = end->findChild<DiagramWindow*>("Diagrams");
    QVERIFY(diagrams && diagrams->isVisible());
    QList<QSize> sizes;
    for (const char* name : {"Piper", "Stiff", "Schoeller"})
      sizes << diagrams->findChild<QLabel*>(name)->pixmap().size();
    QCOMPARE(sizes, (QList<QSize>{{1140, 820}, {900, 343}, {1100, 720}}));
    const QString file = QDir::temp().filePath("vontralek-ui-piper.svg");
    diagrams->SaveCurrent(file);
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly) && saved.readAll().contains("<svg"));
    QTest::mouseClick(end->findChild<QPushButton*>("Command3"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!end && !diagrams);
  }
};

QTEST_MAIN(WindowsTest)
#include "WindowsTest.moc"
