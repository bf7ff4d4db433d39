#pragma once

#include <array>

#include <QWidget>

#include "ui/RunServices.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vontralek::ui {

// The main window: the data sheet to process (Option1: Main or Batch), the two
// carbonate-system variables the analysis gives (Option2), Calculate and
// Cancel. Calculate runs the Main sheet's sample at once, or hands a batch to
// the progress window; either way the window then closes.
class Form1 : public QWidget {
  Q_OBJECT

public:
  // The model state lives for the whole program; the window only writes the
  // run choices SheetMode and InputPair into it.
  Form1(ModelState& state, RunServices services, QWidget* parent = nullptr);

  // Control arrays, addressed by index as on the form.
  QRadioButton* Option1(int index) const { return option1_.at(index); }
  QRadioButton* Option2(int index) const { return option2_.at(index); }

  void Calculate();
  void Cancel();

protected:
  void showEvent(QShowEvent* event) override;

private:
  ModelState& state_;
  RunServices services_;
  QLabel* label1_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  std::array<QRadioButton*, 2> option1_{};
  std::array<QRadioButton*, 5> option2_{};
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  bool screenshotTaken_ = false;
};

} // namespace vontralek::ui
