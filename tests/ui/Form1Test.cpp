// The main window on the offscreen platform (96 dpi): its controls, their
// layout and fonts, the tab order, the two warnings, Calculate and Cancel.

#include <memory>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "UiTestSupport.h"
#include "ui/Form1.h"
#include "ui/WindowKit.h"

using namespace vontralek;
using namespace vontralek::ui;
using namespace vontralek::ui::testing;

namespace {

// Unchecks a radio button of an exclusive frame, as a program would have to:
// the toolkit refuses to uncheck the checked member of an exclusive group.
void Uncheck(QRadioButton* button) {
  button->setAutoExclusive(false);
  button->setChecked(false);
  button->setAutoExclusive(true);
}

} // namespace

class Form1Test : public QObject {
  Q_OBJECT

  std::unique_ptr<FakeServices> fake_;
  std::unique_ptr<ModelState> state_;
  QPointer<Form1> form_;

  template <typename T> T* Child(const char* name) {
    T* widget = form_->findChild<T*>(QString::fromUtf8(name));
    if (widget == nullptr) qFatal("no control %s", name);
    return widget;
  }

private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  void init() {
    fake_ = std::make_unique<FakeServices>();
    state_ = std::make_unique<ModelState>();
    form_ = new Form1(*state_, fake_->Bind());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
  }

  void cleanup() {
    delete form_;
    for (QWidget* w : QApplication::topLevelWidgets()) w->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void initialState() {
    QCOMPARE(form_->objectName(), QString("Form1"));
    QCOMPARE(form_->windowTitle(), QString("VONTRALEK"));
    QVERIFY(Child<QRadioButton>("Option1_0")->isChecked());
    QVERIFY(!Child<QRadioButton>("Option1_1")->isChecked());
    QVERIFY(Child<QRadioButton>("Option2_0")->isChecked());
    QVERIFY(!Child<QRadioButton>("Option2_1")->isChecked());
    QVERIFY(!Child<QRadioButton>("Option2_2")->isChecked());
    // The control arrays hand out the same buttons by index.
    QCOMPARE(form_->Option1(1), Child<QRadioButton>("Option1_1"));
    QCOMPARE(form_->Option2(2), Child<QRadioButton>("Option2_2"));
    // Showing the window neither attaches the workbook nor sets the codes.
    QCOMPARE(fake_->locateCalls, 0);
    QVERIFY(state_->SheetMode.empty());
    QVERIFY(state_->InputPair.empty());
  }

  void captions() {
    QCOMPARE(Child<QLabel>("Label1")->text(), QString("Welcome to VONTRALEK"));
    QCOMPARE(Child<QGroupBox>("Frame1")->title(), QString("Select a data sheet ")); // trailing space kept
    QCOMPARE(Child<QGroupBox>("Frame2")->title(), QString("Select the variables featuring the carbonic system"));
    QCOMPARE(Child<QRadioButton>("Option1_0")->text(), QString("Main"));
    QCOMPARE(Child<QRadioButton>("Option1_1")->text(), QString("Batch"));
    QCOMPARE(Child<QRadioButton>("Option2_0")->text(), QString("Alkalinity and pH"));
    QCOMPARE(Child<QRadioButton>("Option2_1")->text(), QString("Alkalinity and pCO2"));
    QCOMPARE(Child<QRadioButton>("Option2_2")->text(), QString("Bicarbonate and carbonate concentrations"));
    QCOMPARE(Child<QPushButton>("Command1")->text(), QString("Calculate"));
    QCOMPARE(Child<QPushButton>("Command2")->text(), QString("Cancel"));
  }

  // Geometry in twips from the form's design; at 96 dpi one pixel is 15 twips.
  void layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Label1") << "Label1"
                            << "Form1" << QRect(1200, 240, 4575, 615);
    QTest::newRow("Frame1") << "Frame1"
                            << "Form1" << QRect(480, 1080, 5895, 1815);
    QTest::newRow("Option1_0") << "Option1_0"
                               << "Frame1" << QRect(360, 480, 5175, 495);
    QTest::newRow("Option1_1") << "Option1_1"
                               << "Frame1" << QRect(360, 1080, 5175, 375);
    QTest::newRow("Frame2") << "Frame2"
                            << "Form1" << QRect(480, 3120, 5895, 2295);
    QTest::newRow("Option2_0") << "Option2_0"
                               << "Frame2" << QRect(360, 480, 5175, 495);
    QTest::newRow("Option2_1") << "Option2_1"
                               << "Frame2" << QRect(360, 1080, 4455, 375);
    QTest::newRow("Option2_2") << "Option2_2"
                               << "Frame2" << QRect(360, 1680, 4575, 375);
    QTest::newRow("Command1") << "Command1"
                              << "Form1" << QRect(840, 5640, 2415, 615);
    QTest::newRow("Command2") << "Command2"
                              << "Form1" << QRect(3600, 5640, 2415, 615);
  }

  void layout() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, twips);
    QCOMPARE(form_->logicalDpiX(), 96);
    QCOMPARE(form_->logicalDpiY(), 96);
    auto* widget = form_->findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    // Every design value is a multiple of 15, so the pixels are exact.
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(widget->geometry(), pixels);
  }

  void clientArea() {
    // 6840 x 6630 twips = 456 x 442 pixels at 96 dpi; the size is fixed.
    QCOMPARE(form_->size(), QSize(6840 / 15, 6630 / 15));
    QCOMPARE(form_->minimumSize(), form_->maximumSize());
  }

  void twipsScaleWithDpi() {
    // 1500 twips are 100 pixels at 96 dpi, half as many again at 144 dpi and
    // twice as many at 192 dpi.
    QCOMPARE(TwipsToPixels(1500, 96), 100);
    QCOMPARE(TwipsToPixels(1500, 144), 150);
    QCOMPARE(TwipsToPixels(1500, 192), 200);
    // 5640 twips at 120 dpi: 376 * 1.25 = 470.
    QCOMPARE(TwipsToPixels(5640, 120), 470);
  }

  void fonts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("bold");
    QTest::newRow("Form1") << "Form1" << 8.25 << false;
    QTest::newRow("Label1") << "Label1" << 15.75 << true;
    QTest::newRow("Frame1") << "Frame1" << 12.0 << false;
    QTest::newRow("Frame2") << "Frame2" << 12.0 << false;
    QTest::newRow("Option1_0") << "Option1_0" << 9.75 << false;
    QTest::newRow("Option1_1") << "Option1_1" << 9.75 << false;
    QTest::newRow("Option2_0") << "Option2_0" << 9.75 << false;
    QTest::newRow("Option2_1") << "Option2_1" << 9.75 << false;
    QTest::newRow("Option2_2") << "Option2_2" << 9.75 << false;
    QTest::newRow("Command1") << "Command1" << 9.75 << false;
    QTest::newRow("Command2") << "Command2" << 9.75 << false;
  }

  void fonts() {
    QFETCH(QString, name);
    QFETCH(double, points);
    QFETCH(bool, bold);
    QWidget* widget = name == "Form1" ? form_.data() : form_->findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    const QFont font = widget->font();
    QCOMPARE(font.family(), QString("Comic Sans MS"));
    QCOMPARE(font.pointSizeF(), points);
    QCOMPARE(font.bold(), bold);
    QVERIFY(!font.italic());
    QVERIFY(!font.underline());
    QVERIFY(!font.strikeOut());
  }

  void tabOrder() {
    // Tab indexes 0 to 9: Frame1, Frame2, Option1(0), Option1(1), Option2(0..2),
    // Label1, Command1, Command2; frames and labels take no focus.
    QStringList order;
    QWidget* start = Child<QRadioButton>("Option1_0");
    QWidget* w = start;
    do {
      if (w->focusPolicy() != Qt::NoFocus) order << w->objectName();
      w = w->nextInFocusChain();
    } while (w != start);
    QCOMPARE(order,
             QStringList({"Option1_0", "Option1_1", "Option2_0", "Option2_1", "Option2_2", "Command1", "Command2"}));
    for (const char* name : {"Frame1", "Frame2", "Label1"}) {
      QCOMPARE(form_->findChild<QWidget*>(name)->focusPolicy(), Qt::NoFocus);
    }

    // With the keyboard, Tab enters each frame at its selected button (the
    // arrow keys move within a frame), then goes to Calculate and Cancel.
    QVERIFY(QTest::qWaitForWindowActive(form_));
    QCOMPARE(QApplication::focusWidget(), Child<QWidget>("Option1_0"));
    QStringList visited;
    for (int i = 0; i < 4; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, QStringList({"Option2_0", "Command1", "Command2", "Option1_0"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), Child<QWidget>("Option1_1"));
    QVERIFY(Child<QRadioButton>("Option1_1")->isChecked());
  }

  void noDefaultOrCancelButton() {
    for (const char* name : {"Command1", "Command2"}) {
      auto* button = Child<QPushButton>(name);
      QVERIFY(!button->isDefault());
      QVERIFY(!button->autoDefault());
    }
    // Enter and Escape press neither button, wherever the focus is.
    for (const char* name : {"Option1_0", "Command1", "Command2"}) {
      QWidget* target = Child<QWidget>(name);
      target->setFocus();
      QTest::keyClick(target, Qt::Key_Return);
      QTest::keyClick(target, Qt::Key_Enter);
      QTest::keyClick(target, Qt::Key_Escape);
    }
    QTest::qWait(20);
    QCOMPARE(fake_->locateCalls, 0);
    QVERIFY(fake_->runs.empty());
    QVERIFY(fake_->endCodes.empty());
    QVERIFY(form_->isVisible());
  }

  void optionsExcludeWithinTheirFrame() {
    QTest::mouseClick(Child<QRadioButton>("Option1_1"), Qt::LeftButton);
    QTest::mouseClick(Child<QRadioButton>("Option2_2"), Qt::LeftButton);
    QVERIFY(!Child<QRadioButton>("Option1_0")->isChecked());
    QVERIFY(Child<QRadioButton>("Option1_1")->isChecked());
    // The other frame's choice moved on its own, not with the first frame.
    QVERIFY(!Child<QRadioButton>("Option2_0")->isChecked());
    QVERIFY(Child<QRadioButton>("Option2_2")->isChecked());
    // Changing the selection does not run anything.
    QCOMPARE(fake_->locateCalls, 0);
  }

  // Calculate with "Main": the sample runs inside the click, without a
  // progress listener, and the window closes.
  void calculateMain_data() {
    QTest::addColumn<int>("pair");
    QTest::addColumn<QString>("code");
    QTest::newRow("alkalinity and pH") << 0 << "A";
    QTest::newRow("alkalinity and pCO2") << 1 << "B";
    QTest::newRow("bicarbonate and carbonate") << 2 << "C";
  }

  void calculateMain() {
    QFETCH(int, pair);
    QFETCH(QString, code);
    QTest::mouseClick(form_->Option2(pair), Qt::LeftButton);
    bool formVisibleDuringRun = false;
    fake_->onRun = [&](ModelState& state, const RunRequest&, ProgressListener*) {
      formVisibleDuringRun = form_ && form_->isVisible();
      // The codes are in the model state when the run starts.
      QCOMPARE(state.SheetMode, std::string("A"));
    };
    QTest::mouseClick(Child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(fake_->locateCalls, 1);
    QCOMPARE(fake_->runs.size(), std::size_t{1});
    const RunRequest& request = fake_->runs.front();
    QCOMPARE(request.workbookPath, fake_->workbook);
    QCOMPARE(request.sheetMode, std::string("A"));
    QCOMPARE(QString::fromStdString(request.inputPair), code);
    QCOMPARE(QString::fromStdString(state_->InputPair), code);
    QVERIFY(!request.outputPath.has_value()); // results go back into the workbook itself
    QVERIFY(!fake_->runHadListener.front());
    QVERIFY(formVisibleDuringRun);
    QVERIFY(fake_->endCodes.empty());
    QTRY_VERIFY(form_.isNull()); // closed and gone
    QVERIFY(FindWindow("Form2") == nullptr);
  }

  void dataSheetWarningKeepsWindowOpen() {
    Uncheck(Child<QRadioButton>("Option1_0"));
    QVERIFY(!form_->Option1(0)->isChecked() && !form_->Option1(1)->isChecked());
    MessageBoxCatcher catcher;
    QTest::mouseClick(Child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(catcher.seen().size(), std::size_t{1});
    const SeenMessageBox& box = catcher.seen().front();
    QCOMPARE(box.text, QString("Please, select type of data to be processed"));
    QCOMPARE(box.title, QString("VONTRALEK"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.buttonCount, 1);
    QVERIFY(box.modal);
    // The workbook was attached before the choices were looked at; nothing ran.
    QCOMPARE(fake_->locateCalls, 1);
    QVERIFY(fake_->runs.empty());
    QVERIFY(fake_->endCodes.empty());
    QVERIFY(state_->SheetMode.empty());
    QVERIFY(state_->InputPair.empty());
    QTest::qWait(20);
    QVERIFY(!form_.isNull() && form_->isVisible());

    // The window is idle again: a second try with a sheet chosen runs.
    QTest::mouseClick(Child<QRadioButton>("Option1_0"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(fake_->locateCalls, 2);
    QCOMPARE(fake_->runs.size(), std::size_t{1});
  }

  void pairWarningEndsCalculate() {
    // Without a pair the run could only fail (no hydrogen-ion concentration):
    // the warning ends Calculate and the window stays open.
    state_->InputPair = std::string("B"); // left by an earlier Calculate
    Uncheck(Child<QRadioButton>("Option2_0"));
    MessageBoxCatcher catcher;
    QTest::mouseClick(Child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(catcher.seen().size(), std::size_t{1});
    const SeenMessageBox& box = catcher.seen().front();
    QCOMPARE(box.text, QString("Please, select variables featuring the carbonic system"));
    QCOMPARE(box.title, QString("VONTRALEK"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.buttonCount, 1);
    QCOMPARE(fake_->locateCalls, 1);
    QVERIFY(fake_->runs.empty());
    QVERIFY(fake_->endCodes.empty());
    QCOMPARE(state_->InputPair, std::string("B"));
    QTest::qWait(20);
    QVERIFY(!form_.isNull() && form_->isVisible());
    QVERIFY(FindWindow("Form2") == nullptr);
  }

  void cancelEndsWithoutTouchingTheWorkbook() {
    QTest::mouseClick(Child<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(fake_->endCodes, std::vector<int>{0});
    QCOMPARE(fake_->locateCalls, 0);
    QVERIFY(fake_->runs.empty());
    QVERIFY(state_->SheetMode.empty());
  }

  void missingWorkbookIsReportedAndEnds() {
    const std::string message =
        "No workbook found in /opt/vontralek: neither VONTRALEK.xls nor VONTRALEK.xlsx exists there.";
    fake_->locateFails = [message] { throw RunError(message); };
    MessageBoxCatcher catcher;
    QTest::mouseClick(Child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(catcher.seen().size(), std::size_t{1});
    QCOMPARE(catcher.seen().front().text, QString::fromStdString(message));
    QCOMPARE(catcher.seen().front().icon, QMessageBox::Warning);
    QCOMPARE(catcher.seen().front().title, QString("VONTRALEK"));
    QCOMPARE(fake_->endCodes, std::vector<int>{1});
    QVERIFY(fake_->runs.empty());
    QVERIFY(state_->SheetMode.empty());
  }

  void runErrorIsReportedAndEnds_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("run error") << 0;
    QTest::newRow("cell error") << 1;
    QTest::newRow("other failure") << 2;
  }

  void runErrorIsReportedAndEnds() {
    QFETCH(int, kind);
    const std::string message = "Worksheet \"Main\", cell C5: the text \"nd\" is not a number. Enter the "
                                "concentration in mmol/L or leave the cell empty.";
    fake_->onRun = [&](ModelState&, const RunRequest&, ProgressListener*) {
      if (kind == 0) throw RunError(message);
      if (kind == 1) throw TypeMismatchError(message);
      throw std::runtime_error(message);
    };
    MessageBoxCatcher catcher;
    QTest::mouseClick(Child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(catcher.seen().size(), std::size_t{1});
    const SeenMessageBox& box = catcher.seen().front();
    // The full message reaches the user, whatever the error's type.
    QVERIFY2(box.text.contains(QString::fromStdString(message)), qPrintable(box.text));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QString("VONTRALEK"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(fake_->endCodes, std::vector<int>{1});
  }
};

QTEST_MAIN(Form1Test)
#include "Form1Test.moc"
