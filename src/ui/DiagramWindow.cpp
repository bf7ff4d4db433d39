#include "ui/DiagramWindow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "diagram/Diagram.h"
#include "run/DiagramSamples.h"
#include "ui/WindowKit.h"

namespace vontralek::ui {

namespace {

constexpr diagram::DiagramKind kKinds[] = {diagram::DiagramKind::Piper, diagram::DiagramKind::Stiff,
                                           diagram::DiagramKind::Schoeller};

} // namespace

DiagramWindow::DiagramWindow(std::vector<diagram::DiagramSample> samples, QString screenshotDir, QWidget* parent)
    : QWidget(parent, Qt::Window), samples_(std::move(samples)), screenshotDir_(std::move(screenshotDir)) {
  setObjectName(QStringLiteral("Diagrams"));
  setWindowTitle(kApplicationTitle + QStringLiteral(": diagrams"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFont(FormFont(9.75));
  resize(1000, 760);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("Tabs"));
  for (const diagram::DiagramKind kind : kKinds) {
    auto* picture = new QLabel;
    picture->setObjectName(QString::fromUtf8(diagram::DiagramKindName(kind).data()));
    try {
      const std::string png = diagram::DrawDiagram(kind, samples_, diagram::ImageFormat::Png);
      QPixmap pixmap;
      pixmap.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<uint>(png.size()), "PNG");
      picture->setPixmap(pixmap);
    } catch (const std::exception& error) {
      picture->setText(QString::fromUtf8(error.what()));
    }
    auto* scroll = new QScrollArea;
    scroll->setWidget(picture);
    scroll->setBackgroundRole(QPalette::Base);
    tabs_->addTab(scroll, QString::fromUtf8(diagram::DiagramKindName(kind).data()));
  }

  auto* buttons = new QHBoxLayout;
  const auto button = [&](const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    buttons->addWidget(b);
    return b;
  };
  connect(button("SaveSvg", "Save as SVG..."), &QPushButton::clicked, this, [this] { AskAndSave(".svg"); });
  connect(button("SavePng", "Save as PNG..."), &QPushButton::clicked, this, [this] { AskAndSave(".png"); });
  buttons->addStretch();
  connect(button("Close", "Close"), &QPushButton::clicked, this, &QWidget::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addLayout(buttons);
}

void DiagramWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!screenshotDir_.isEmpty() && !screenshotTaken_) {
    screenshotTaken_ = true;
    QTimer::singleShot(0, this, [this] { SaveScreenshot(this, screenshotDir_, QStringLiteral("Diagrams")); });
  }
}

void DiagramWindow::AskAndSave(const char* ending) {
  const QString kind = tabs_->tabText(tabs_->currentIndex());
  const QString file =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save the %1 diagram").arg(kind), kind.toLower() + ending,
                                   QStringLiteral("%1 (*%2)").arg(QString(ending).mid(1).toUpper(), ending));
  if (!file.isEmpty()) SaveCurrent(file);
}

void DiagramWindow::SaveCurrent(const QString& file) {
  try {
    SaveDiagram(std::filesystem::path(file.toStdU16String()), kKinds[tabs_->currentIndex()], samples_);
  } catch (...) {
    ShowRunError(this, std::current_exception());
  }
}

} // namespace vontralek::ui
