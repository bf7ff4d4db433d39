#include "ui/Form2.h"

#include <exception>

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QTimer>

#include "ui/WindowKit.h"

namespace vontralek::ui {

namespace {
// Started when neither an activation nor a first paint came (a platform
// without a window manager may deliver neither).
constexpr int kFallbackStartMs = 500;
} // namespace

Form2::Form2(ModelState& state, RunRequest request, RunServices services, QWidget* parent)
    : QWidget(parent), state_(state), request_(std::move(request)), services_(std::move(services)) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(kApplicationTitle);
  setAttribute(Qt::WA_DeleteOnClose);
  setFont(FormFont(8.25));
  setFixedSize(TwipsToPixels(6870, logicalDpiX()), TwipsToPixels(2745, logicalDpiY()));

  label1_ = new QLabel(QStringLiteral("VONTRALEK busy ..."), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setFont(FormFont(15.75));
  label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  PlaceInTwips(label1_, 480, 360, 4095, 375);

  frame1_ = new QGroupBox(QString(), this);
  frame1_->setObjectName(QStringLiteral("Frame1"));
  frame1_->setFont(FormFont(12));
  PlaceInTwips(frame1_, 600, 1200, 5655, 975);

  // The bar: a pure green label that grows from 15 twips to the full 5175.
  label2_ = new QLabel(frame1_);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->setAutoFillBackground(true);
  QPalette palette = label2_->palette();
  palette.setColor(QPalette::Window, QColor(0, 255, 0));
  label2_->setPalette(palette);
  PlaceInTwips(label2_, 240, 360, 15, 375);

  setTabOrder(label1_, frame1_);
  setTabOrder(frame1_, label2_);
}

bool Form2::event(QEvent* event) {
  // The batch starts when the window becomes active.
  if (event->type() == QEvent::WindowActivate) RunSoon();
  return QWidget::event(event);
}

void Form2::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!runStarted_) {
    QTimer::singleShot(kFallbackStartMs, this, &Form2::RunBatch);
  }
}

void Form2::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  // The first paint means the window is on screen: the repaints during the
  // run will be seen.
  RunSoon();
}

void Form2::RunSoon() {
  // Queued rather than run here, so the run does not execute inside an event
  // handler that is itself part of painting.
  if (runQueued_ || runStarted_) return;
  runQueued_ = true;
  QTimer::singleShot(0, this, &Form2::RunBatch);
}

void Form2::RunBatch() {
  if (runStarted_) return;
  runStarted_ = true;
  if (!RunOrEnd(this, services_, state_, request_, this)) return;
  // The run is over: the last window closes and with it the program ends.
  close();
}

void Form2::OnProgress(const ProgressUpdate& progress) {
  frame1_->setTitle(QString::fromStdString(progress.caption));
  // The bar spans 5175 twips at 100 %; computed in doubles, kept in single precision.
  SetTwipsWidth(label2_, static_cast<float>(progress.percent * 5175.0 / 100.0));
  // Synchronous: the event loop does not run until the batch ends.
  repaint();
  if (!screenshotTaken_ && !services_.screenshotDir.isEmpty()) {
    screenshotTaken_ = true;
    SaveScreenshot(this, services_.screenshotDir, QStringLiteral("Form2"));
  }
}

} // namespace vontralek::ui
