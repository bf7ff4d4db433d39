// The progress window of a batch: started from the main window, it runs the
// batch once, shows each sample's percentage and bar, and closes at the end.

#include <memory>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "UiTestSupport.h"
#include "run/Progress.h"
#include "ui/Form1.h"
#include "ui/Form2.h"

using namespace vontralek;
using namespace vontralek::ui;
using namespace vontralek::ui::testing;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// What the progress window showed right after one progress update.
struct Shown {
  QString caption;
  double barTwips = 0;
  int barPixels = 0;
  bool repainted = false; // the bar was painted before the update returned
};

} // namespace

class Form2Test : public QObject {
  Q_OBJECT

  std::unique_ptr<FakeServices> fake_;
  std::unique_ptr<ModelState> state_;
  QPointer<Form1> form1_;

  // Calculate on the main window with "Batch" and the first pair.
  void StartBatch() {
    form1_ = new Form1(*state_, fake_->Bind());
    form1_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form1_));
    QTest::mouseClick(form1_->Option1(1), Qt::LeftButton);
    QTest::mouseClick(form1_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  }

private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  void init() {
    fake_ = std::make_unique<FakeServices>();
    state_ = std::make_unique<ModelState>();
  }

  void cleanup() {
    delete form1_;
    for (QWidget* w : QApplication::topLevelWidgets()) w->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void layoutAndInitialState() {
    // The window as the run finds it when it starts: nothing shown yet.
    bool checked = false;
    fake_->onRun = [&](ModelState&, const RunRequest&, ProgressListener* progress) {
      auto* form = dynamic_cast<QWidget*>(progress);
      QVERIFY(form != nullptr);
      QCOMPARE(form->objectName(), QString("Form2"));
      QCOMPARE(form->windowTitle(), QString("VONTRALEK"));
      QCOMPARE(form->logicalDpiX(), 96);
      // 6870 x 2745 twips at 15 twips per pixel.
      QCOMPARE(form->size(), QSize(6870 / 15, 2745 / 15));
      QCOMPARE(form->font().family(), QString("Comic Sans MS"));
      QCOMPARE(form->font().pointSizeF(), 8.25);

      auto* label1 = form->findChild<QLabel*>("Label1");
      auto* frame1 = form->findChild<QGroupBox*>("Frame1");
      auto* label2 = form->findChild<QLabel*>("Label2");
      QVERIFY(label1 && frame1 && label2);
      QCOMPARE(label1->text(), QString("VONTRALEK busy ..."));
      QCOMPARE(label1->geometry(), QRect(480 / 15, 360 / 15, 4095 / 15, 375 / 15));
      QCOMPARE(label1->font().family(), QString("Comic Sans MS"));
      QCOMPARE(label1->font().pointSizeF(), 15.75);
      QVERIFY(!label1->font().bold());
      QCOMPARE(frame1->title(), QString());
      QCOMPARE(frame1->geometry(), QRect(600 / 15, 1200 / 15, 5655 / 15, 975 / 15));
      QCOMPARE(frame1->font().family(), QString("Comic Sans MS"));
      QCOMPARE(frame1->font().pointSizeF(), 12.0);
      // The bar sits in the frame, 15 twips (one pixel) wide at first, pure green.
      QCOMPARE(label2->parentWidget(), static_cast<QWidget*>(frame1));
      QCOMPARE(label2->geometry(), QRect(240 / 15, 360 / 15, 1, 375 / 15));
      QCOMPARE(label2->property("twipsWidth").toDouble(), 15.0);
      QVERIFY(label2->autoFillBackground());
      QCOMPARE(label2->palette().color(QPalette::Window), QColor(0, 255, 0));
      QCOMPARE(label2->text(), QString());
      // Activation, paints and the start-up fallback arriving while the run
      // is busy must not start a second run.
      QTest::qWait(700);
      checked = true;
    };
    RunRequest request;
    request.sheetMode = "B";
    QPointer<Form2> form = new Form2(*state_, request, fake_->Bind());
    form->show();
    QTRY_VERIFY(checked);
    QTRY_VERIFY(form.isNull());
    QCOMPARE(fake_->runs.size(), std::size_t{1});
    QVERIFY(fake_->runHadListener.front());
  }

  // Captions and widths before each sample of a batch of N, from the
  // percentage k * 100 / N rounded half to even and the bar of 5175 twips.
  void batchProgress_data() {
    QTest::addColumn<int>("samples");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QList<double>>("widths");
    // N = 4: 25, 50, 75, 100 %; widths 5175 / 4 * k = 1293.75, 2587.5, 3881.25, 5175.
    QTest::newRow("N = 4") << 4 << QStringList{"25% completed", "50% completed", "75% completed", "100% finishing"}
                           << QList<double>{1293.75, 2587.5, 3881.25, 5175};
    // N = 8: 12.5, 37.5, 62.5 and 87.5 are ties and go to the even integer;
    // widths 5175 / 8 * k = 646.875 * k.
    QTest::newRow("N = 8") << 8 << QStringList{"12% completed", "25% completed", "38% completed", "50% completed",
                                               "62% completed", "75% completed", "88% completed", "100% finishing"}
                           << QList<double>{646.875, 1293.75, 1940.625, 2587.5, 3234.375, 3881.25, 4528.125, 5175};
    // N = 3: 33.33.. and 66.66.. round to 33 and 67.
    QTest::newRow("N = 3") << 3 << QStringList{"33% completed", "67% completed", "100% finishing"}
                           << QList<double>{1725, 3450, 5175};
  }

  void batchProgress() {
    QFETCH(int, samples);
    QFETCH(QStringList, captions);
    QFETCH(QList<double>, widths);

    std::vector<Shown> shown;
    bool mainWindowGoneDuringRun = false;
    fake_->onRun = [&](ModelState& state, const RunRequest& request, ProgressListener* progress) {
      QVERIFY(progress != nullptr);
      QCOMPARE(request.sheetMode, std::string("B"));
      QCOMPARE(state.SheetMode, std::string("B"));
      mainWindowGoneDuringRun = form1_.isNull() || !form1_->isVisible();
      auto* window = dynamic_cast<QWidget*>(progress);
      QVERIFY(window != nullptr);
      QCOMPARE(window->objectName(), QString("Form2"));
      QVERIFY(window->isVisible());
      auto* frame = window->findChild<QGroupBox*>("Frame1");
      auto* bar = window->findChild<QLabel*>("Label2");
      PaintCounter counter;
      bar->installEventFilter(&counter);
      for (int k = 1; k <= samples; ++k) {
        const int paintsBefore = counter.paints;
        progress->OnProgress(ShowProgress(k * 100.0 / samples));
        shown.push_back(
            {frame->title(), bar->property("twipsWidth").toDouble(), bar->width(), counter.paints > paintsBefore});
      }
      bar->removeEventFilter(&counter);
    };
    StartBatch();
    // Calculate closes the main window and leaves the progress window to run.
    QTRY_VERIFY(form1_.isNull());
    QTRY_COMPARE(fake_->runs.size(), std::size_t{1});
    QTRY_VERIFY(FindWindow("Form2") == nullptr); // closed at the end of the run
    QVERIFY(mainWindowGoneDuringRun);
    QCOMPARE(fake_->runs.front().workbookPath, fake_->workbook);
    QCOMPARE(fake_->locateCalls, 1);
    QVERIFY(fake_->endCodes.empty());

    QCOMPARE(shown.size(), std::size_t(samples));
    for (int k = 0; k < samples; ++k) {
      QCOMPARE(shown[k].caption, captions[k]);
      QCOMPARE(shown[k].barTwips, widths[k]);
      // 15 twips per pixel, rounded to the nearest pixel (x.5 upwards).
      QCOMPARE(shown[k].barPixels, qRound(widths[k] / 15.0));
      QVERIFY2(shown[k].repainted, "each update is painted before the run goes on");
    }
    // Settle: the window's own start triggers must not start a second run.
    QTest::qWait(700);
    QCOMPARE(fake_->runs.size(), std::size_t{1});
  }

  void emptyBatchClosesTheWindow() {
    // No sample: no progress update, and the window still closes.
    StartBatch();
    QTRY_COMPARE(fake_->runs.size(), std::size_t{1});
    QTRY_VERIFY(FindWindow("Form2") == nullptr);
    QVERIFY(fake_->endCodes.empty());
  }

  void runErrorIsReportedAndEnds() {
    const std::string message = "Worksheet \"Batch\", cell E4 (sample row 4): the text \"ND\" is not a number. "
                                "Write \"nd\" for an ion that was not determined. The 2 samples before it were saved.";
    QString captionAtError;
    fake_->onRun = [&](ModelState&, const RunRequest&, ProgressListener* progress) {
      progress->OnProgress(ShowProgress(100.0 / 3));
      progress->OnProgress(ShowProgress(200.0 / 3));
      captionAtError = dynamic_cast<QWidget*>(progress)->findChild<QGroupBox*>("Frame1")->title();
      throw TypeMismatchError(message);
    };
    MessageBoxCatcher catcher;
    StartBatch();
    QTRY_COMPARE(fake_->endCodes, std::vector<int>{1});
    QCOMPARE(catcher.seen().size(), std::size_t{1});
    const SeenMessageBox& box = catcher.seen().front();
    QCOMPARE(box.text, QString::fromStdString(message));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QString("VONTRALEK"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(captionAtError, QString("67% completed"));
    QCOMPARE(fake_->runs.size(), std::size_t{1});
  }
};

QTEST_MAIN(Form2Test)
#include "Form2Test.moc"
