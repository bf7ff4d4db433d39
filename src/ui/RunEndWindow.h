#pragma once

#include <vector>

#include <QWidget>

#include "diagram/DiagramSample.h"
#include "ui/RunServices.h"

class QLabel;
class QPushButton;

namespace vontralek::ui {

// The window at the end of a run: how many samples were calculated and
// failed, the model, the file saved; open the workbook, show the diagrams of
// the samples just calculated, close (the last window: the program ends).
class RunEndWindow : public QWidget {
  Q_OBJECT

public:
  RunEndWindow(RunServices services, const RunRequest& request, const RunSummary& summary,
               std::vector<diagram::DiagramSample> samples, QWidget* parent = nullptr);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void OpenWorkbook();
  void ShowDiagrams();

  RunServices services_;
  std::filesystem::path saved_;
  std::vector<diagram::DiagramSample> samples_;
  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  QPushButton* command3_ = nullptr;
  bool screenshotTaken_ = false;
};

// The account of the run as the end window shows it: "Batch sheet: 998
// samples calculated, 2 failed.\nModel: as specified.\nSaved to FILE."
QString RunEndText(const RunRequest& request, const RunSummary& summary);

// Shows the end window (deleted when closed, owned by no other window).
void ShowRunEnd(const RunServices& services, const RunRequest& request, const RunSummary& summary,
                std::vector<diagram::DiagramSample> samples);

} // namespace vontralek::ui
