#include "ui/RunEndWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "ui/DiagramWindow.h"
#include "ui/WindowKit.h"

namespace vontralek::ui {

namespace {

QPushButton* MakeButton(QWidget* form, const char* name, const char* caption, double left) {
  auto* button = new QPushButton(QString::fromUtf8(caption), form);
  button->setObjectName(QString::fromUtf8(name));
  button->setFont(FormFont(9.75));
  button->setAutoDefault(false);
  PlaceInTwips(button, left, 2880, 2055, 615);
  return button;
}

} // namespace

QString RunEndText(const RunRequest& request, const RunSummary& summary) {
  const bool batch = request.sheetMode == DataSheet::Batch;
  QString text = QStringLiteral("%1 sheet: %2 %3 calculated")
                     .arg(batch ? QStringLiteral("Batch") : QStringLiteral("Main"))
                     .arg(summary.samplesDone)
                     .arg(summary.samplesDone == 1 ? QStringLiteral("sample") : QStringLiteral("samples"));
  if (summary.samplesFailed > 0) text += QStringLiteral(", %1 failed").arg(summary.samplesFailed);
  text += QStringLiteral(".\nModel: %1.\n")
              .arg(summary.settings.model == SpeciationModel::IonAssociation ? QStringLiteral("ion association")
                                                                             : QStringLiteral("as specified"));
  const std::filesystem::path target = request.outputPath ? *request.outputPath : request.workbookPath;
  text += summary.written ? QStringLiteral("Saved to %1.").arg(QString::fromStdU16String(target.u16string()))
                          : QStringLiteral("Nothing was written.");
  return text;
}

RunEndWindow::RunEndWindow(RunServices services, const RunRequest& request, const RunSummary& summary,
                           std::vector<diagram::DiagramSample> samples, QWidget* parent)
    : QWidget(parent), services_(std::move(services)),
      saved_(request.outputPath ? *request.outputPath : request.workbookPath), samples_(std::move(samples)) {
  setObjectName(QStringLiteral("RunEnd"));
  setWindowTitle(kApplicationTitle + QStringLiteral(": finished"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFont(FormFont(8.25));
  setFixedSize(TwipsToPixels(6840, logicalDpiX()), TwipsToPixels(3780, logicalDpiY()));

  label1_ = new QLabel(QStringLiteral("VONTRALEK has finished"), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setFont(FormFont(15.75, true));
  PlaceInTwips(label1_, 480, 240, 5895, 495);

  label2_ = new QLabel(RunEndText(request, summary), this);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->setFont(FormFont(9.75));
  label2_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label2_->setWordWrap(true);
  label2_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  PlaceInTwips(label2_, 480, 960, 5895, 1680);

  command1_ = MakeButton(this, "Command1", "Open workbook", 240);
  command2_ = MakeButton(this, "Command2", "Show diagrams", 2400);
  command3_ = MakeButton(this, "Command3", "Close", 4560);
  command1_->setEnabled(summary.written);
  command2_->setEnabled(!samples_.empty());
  connect(command1_, &QPushButton::clicked, this, &RunEndWindow::OpenWorkbook);
  connect(command2_, &QPushButton::clicked, this, &RunEndWindow::ShowDiagrams);
  connect(command3_, &QPushButton::clicked, this, &QWidget::close);
}

void RunEndWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!services_.screenshotDir.isEmpty() && !screenshotTaken_) {
    screenshotTaken_ = true;
    QTimer::singleShot(0, this, [this] { SaveScreenshot(this, services_.screenshotDir, QStringLiteral("RunEnd")); });
  }
}

void RunEndWindow::OpenWorkbook() {
  if (!services_.openFile || !services_.openFile(saved_))
    ShowWarning(this, QStringLiteral("No program to open %1 was found; open it from your spreadsheet program.")
                          .arg(QString::fromStdU16String(saved_.u16string())));
}

void RunEndWindow::ShowDiagrams() {
  // Owned by this window: closing it closes the diagrams too.
  auto* window = new DiagramWindow(samples_, services_.screenshotDir, this);
  window->show();
}

void ShowRunEnd(const RunServices& services, const RunRequest& request, const RunSummary& summary,
                std::vector<diagram::DiagramSample> samples) {
  auto* window = new RunEndWindow(services, request, summary, std::move(samples));
  window->show();
}

} // namespace vontralek::ui
