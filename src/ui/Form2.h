#pragma once

#include <QWidget>

#include "ui/RunServices.h"

class QGroupBox;
class QLabel;

namespace vontralek::ui {

// The progress window of a batch. Once it is on screen it runs the batch
// itself; before each sample the run reports the percentage done, which the
// window shows in its frame caption and as a green bar, repainted at once
// because the run does not return to the event loop until it ends. At the end
// of the run the window closes.
class Form2 : public QWidget, public ProgressListener {
  Q_OBJECT

public:
  Form2(ModelState& state, RunRequest request, RunServices services, QWidget* parent = nullptr);

  void OnProgress(const ProgressUpdate& progress) override;

  // Runs the batch, once: later calls do nothing.
  void RunBatch();

protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  void RunSoon();

  ModelState& state_;
  RunRequest request_;
  RunServices services_;
  QLabel* label1_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  QLabel* label2_ = nullptr;
  bool runQueued_ = false;
  bool runStarted_ = false;
  bool screenshotTaken_ = false;
};

} // namespace vontralek::ui
