// The windows with the program's own services: the real calculation run on a
// copy of the shipped workbook, and the search for the workbook beside the
// program.

#include <filesystem>
#include <memory>

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "UiTestSupport.h"
#include "run/Run.h"
#include "ui/Form1.h"
#include "ui/ProgramServices.h"
#include "workbook/Workbook.h"

using namespace vontralek;
using namespace vontralek::ui;
using namespace vontralek::ui::testing;
namespace fs = std::filesystem;

namespace {

// Passes each update on to the window and notes what the window then shows.
class RecordingListener : public ProgressListener {
public:
  explicit RecordingListener(ProgressListener* window) : window_(window) {}
  void OnProgress(const ProgressUpdate& update) override {
    window_->OnProgress(update);
    auto* form = dynamic_cast<QWidget*>(window_);
    captions << form->findChild<QGroupBox*>("Frame1")->title();
  }
  QStringList captions;

private:
  ProgressListener* window_;
};

} // namespace

class RealRunTest : public QObject {
  Q_OBJECT

  fs::path folder_;
  fs::path workbook_;
  std::unique_ptr<ModelState> state_;
  QPointer<Form1> form_;
  std::vector<int> endCodes_;
  QStringList captions_;

  // The program's services, ending recorded instead of leaving the event loop,
  // and the batch's progress recorded on its way to the window.
  RunServices Services(const fs::path& named) {
    RunServices services = ProgramServices(named, QString());
    services.endProgram = [this](int code) { endCodes_.push_back(code); };
    auto run = services.run;
    services.run = [this, run](ModelState& state, const RunRequest& request, ProgressListener* progress) {
      if (progress == nullptr) return run(state, request, nullptr);
      RecordingListener recorder(progress);
      RunSummary summary = run(state, request, &recorder);
      captions_ = recorder.captions;
      return summary;
    };
    return services;
  }

  void Calculate(int sheet, int pair) {
    form_ = new Form1(*state_, Services(workbook_));
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    QTest::mouseClick(form_->Option1(sheet), Qt::LeftButton);
    QTest::mouseClick(form_->Option2(pair), Qt::LeftButton);
    QTest::mouseClick(form_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  }

private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    folder_ = fs::path(VONTRALEK_TEST_TMP) / "real-run";
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }

  void init() {
    state_ = std::make_unique<ModelState>();
    endCodes_.clear();
    captions_.clear();
    workbook_ = folder_ / QTest::currentTestFunction();
    workbook_ += ".xlsx";
    fs::copy_file(VONTRALEK_SHIPPED_WORKBOOK, workbook_, fs::copy_options::overwrite_existing);
  }

  void cleanup() {
    delete form_;
    for (QWidget* w : QApplication::topLevelWidgets()) w->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void mainSheetWithAlkalinityAndPCO2() {
    MessageBoxCatcher catcher;
    Calculate(0, 1);
    QTRY_VERIFY(form_.isNull());
    QVERIFY(catcher.seen().empty());
    QVERIFY(endCodes_.empty());
    // The run wrote the headings of the pair it was given into A4 and B4.
    auto book = workbook::OpenWorkbook(workbook_);
    auto& main = book->Worksheets(1);
    QVERIFY(main.Value(4, 1).EqualsText("pCO2"));
    QVERIFY(main.Value(4, 2).EqualsText("Alk"));
    QCOMPARE(state_->SheetMode, std::string("A"));
    QCOMPARE(state_->InputPair, std::string("B"));
  }

  void batchOfEightSamples() {
    // Eight samples: the shipped rows are repeated down to row 9, and A10
    // must be the first empty marker cell.
    {
      auto book = workbook::OpenWorkbook(workbook_);
      auto& batch = book->Worksheets(2);
      int rows = 0;
      while (!batch.IsEmpty(rows + 2, 1)) ++rows;
      QVERIFY2(rows >= 1 && rows <= 8, "the shipped Batch sheet holds 1 to 8 samples");
      for (int row = rows + 2; row <= 9; ++row) {
        for (int column = 1; column <= 10; ++column) {
          const workbook::CellValue value = batch.Value(2, column);
          if (value.kind == workbook::CellValue::Kind::Number) batch.SetNumber(row, column, value.number);
          if (value.kind == workbook::CellValue::Kind::Text) batch.SetText(row, column, value.text);
        }
      }
      QVERIFY(batch.IsEmpty(10, 1));
      book->Save();
    }
    MessageBoxCatcher catcher;
    Calculate(1, 0);
    QTRY_VERIFY(form_.isNull());
    QTRY_VERIFY_WITH_TIMEOUT(FindWindow("Form2") == nullptr, 30000);
    QVERIFY(catcher.seen().empty());
    QVERIFY(endCodes_.empty());
    // 100 k / 8 with ties to even: 12.5 -> 12, 37.5 -> 38, 62.5 -> 62, 87.5 -> 88.
    QCOMPARE(captions_, QStringList({"12% completed", "25% completed", "38% completed", "50% completed",
                                     "62% completed", "75% completed", "88% completed", "100% finishing"}));
    auto book = workbook::OpenWorkbook(workbook_);
    auto& batch = book->Worksheets(2);
    QVERIFY(batch.Value(1, 2).EqualsText("pH"));
    QVERIFY(batch.Value(1, 3).EqualsText("Alk/meq/L"));
    for (int row = 2; row <= 9; ++row) QVERIFY2(!batch.IsEmpty(row, 11), "each sample row has its results");
    QVERIFY(batch.IsEmpty(10, 11));
  }

  void workbookBesideTheProgram() {
    // No name given: the search looks in the program's own folder, here the
    // test's, where there is no workbook. The message names the folder and
    // both file names; the program ends without running.
    const fs::path programFolder = QCoreApplication::applicationDirPath().toStdString();
    if (fs::exists(programFolder / "VONTRALEK.xls") || fs::exists(programFolder / "VONTRALEK.xlsx")) {
      QSKIP("a workbook lies beside the test program");
    }
    MessageBoxCatcher catcher;
    form_ = new Form1(*state_, Services({}));
    form_->show();
    QTest::mouseClick(form_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(catcher.seen().size(), std::size_t{1});
    const QString text = catcher.seen().front().text;
    QVERIFY2(text.contains(QString::fromStdString(programFolder.string())), qPrintable(text));
    QVERIFY2(text.contains("VONTRALEK.xls ") || text.contains("VONTRALEK.xls,"), qPrintable(text));
    QVERIFY2(text.contains("VONTRALEK.xlsx"), qPrintable(text));
    QCOMPARE(endCodes_, std::vector<int>{1});
  }

  void runErrorNamesTheCell() {
    // "ND" is not the marker of an ion that was not determined: the run stops
    // at that cell, and the window shows the run's own message.
    {
      auto book = workbook::OpenWorkbook(workbook_);
      book->Worksheets(2).SetText(2, 5, "ND");
      book->Save();
    }
    MessageBoxCatcher catcher;
    Calculate(1, 0);
    QTRY_COMPARE_WITH_TIMEOUT(endCodes_, std::vector<int>{1}, 30000);
    QCOMPARE(catcher.seen().size(), std::size_t{1});
    const QString text = catcher.seen().front().text;
    QVERIFY2(text.contains("E2"), qPrintable(text));
    QVERIFY2(text.contains("ND"), qPrintable(text));
    QCOMPARE(catcher.seen().front().icon, QMessageBox::Warning);
  }
};

QTEST_MAIN(RealRunTest)
#include "RealRunTest.moc"
