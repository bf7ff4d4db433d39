#pragma once

#include <vector>

#include <QString>
#include <QWidget>

#include "diagram/DiagramSample.h"

class QTabWidget;

namespace vontralek::ui {

// The Piper, Stiff and Schoeller diagrams of a run's samples, one tab each,
// drawn as PNG by the diagram module; the diagram shown can be saved as SVG
// or PNG. A window of its own, owned by parent.
class DiagramWindow : public QWidget {
  Q_OBJECT

public:
  DiagramWindow(std::vector<diagram::DiagramSample> samples, QString screenshotDir, QWidget* parent);

  // Saves the diagram of the current tab into file (SVG or PNG by its name);
  // a warning names what went wrong.
  void SaveCurrent(const QString& file);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void AskAndSave(const char* ending);

  std::vector<diagram::DiagramSample> samples_;
  QString screenshotDir_;
  QTabWidget* tabs_ = nullptr;
  bool screenshotTaken_ = false;
};

} // namespace vontralek::ui
