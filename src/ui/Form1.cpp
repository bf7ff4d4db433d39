#include "ui/Form1.h"

#include <exception>
#include <string>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "ui/Form2.h"
#include "ui/WindowKit.h"

namespace vontralek::ui {

namespace {

// An option button that reacts to a click anywhere in its rectangle, not only
// on its circle and caption.
class OptionButton : public QRadioButton {
public:
  using QRadioButton::QRadioButton;

protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

QRadioButton* MakeOption(QWidget* frame, const char* name, const char* caption, double top, double width,
                         double height) {
  auto* option = new OptionButton(QString::fromUtf8(caption), frame);
  option->setObjectName(QString::fromUtf8(name));
  option->setFont(FormFont(9.75));
  PlaceInTwips(option, 360, top, width, height);
  return option;
}

// A frame holding one group of option buttons, which exclude each other.
QGroupBox* MakeFrame(QWidget* form, const char* name, const char* caption, double top, double height) {
  auto* frame = new QGroupBox(QString::fromUtf8(caption), form);
  frame->setObjectName(QString::fromUtf8(name));
  frame->setFont(FormFont(12));
  PlaceInTwips(frame, 480, top, 5895, height);
  return frame;
}

QPushButton* MakeButton(QWidget* form, const char* name, const char* caption, double left) {
  auto* button = new QPushButton(QString::fromUtf8(caption), form);
  button->setObjectName(QString::fromUtf8(name));
  button->setFont(FormFont(9.75));
  // Neither button is the default or the cancel button: Enter and Escape
  // press nothing.
  button->setAutoDefault(false);
  button->setDefault(false);
  PlaceInTwips(button, left, 6840, 2415, 615);
  return button;
}

} // namespace

Form1::Form1(ModelState& state, RunServices services, QWidget* parent)
    : QWidget(parent), state_(state), services_(std::move(services)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(kApplicationTitle);
  setAttribute(Qt::WA_DeleteOnClose);
  setFont(FormFont(8.25));
  const int clientWidth = TwipsToPixels(6840, logicalDpiX());
  const int clientHeight = TwipsToPixels(7830, logicalDpiY());
  setFixedSize(clientWidth, clientHeight);

  label1_ = new QLabel(QStringLiteral("Welcome to VONTRALEK"), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setFont(FormFont(15.75, true));
  label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label1_->setWordWrap(true);
  PlaceInTwips(label1_, 1200, 240, 4575, 615);

  frame1_ = MakeFrame(this, "Frame1", "Select a data sheet ", 1080, 1815);
  option1_[0] = MakeOption(frame1_, "Option1_0", "Main", 480, 5175, 495);
  option1_[1] = MakeOption(frame1_, "Option1_1", "Batch", 1080, 5175, 375);

  frame2_ = MakeFrame(this, "Frame2", "Select the variables featuring the carbonic system", 3120, 3495);
  option2_[0] = MakeOption(frame2_, "Option2_0", "Alkalinity and pH", 480, 5175, 495);
  option2_[1] = MakeOption(frame2_, "Option2_1", "Alkalinity and pCO2", 1080, 4455, 375);
  option2_[2] = MakeOption(frame2_, "Option2_2", "Bicarbonate and carbonate concentrations", 1680, 4575, 375);
  // The pairs a reaction or a mixture gives: the dissolved inorganic carbon
  // with the pH or with the alkalinity.
  option2_[3] = MakeOption(frame2_, "Option2_3", "DIC and pH", 2280, 4575, 375);
  option2_[4] = MakeOption(frame2_, "Option2_4", "Alkalinity and DIC", 2880, 4575, 375);

  command1_ = MakeButton(this, "Command1", "Calculate", 840);
  command2_ = MakeButton(this, "Command2", "Cancel", 3600);

  option1_[0]->setChecked(true);
  option2_[0]->setChecked(true);

  // Tab order: Frame1, Frame2, the seven option buttons, Label1, Calculate,
  // Cancel. Frames and labels take no focus, so the chain links the others.
  QWidget* tabOrder[] = {option1_[0], option1_[1], option2_[0], option2_[1], option2_[2],
                         option2_[3], option2_[4], command1_,   command2_};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  option1_[0]->setFocus();

  connect(command1_, &QPushButton::clicked, this, &Form1::Calculate);
  connect(command2_, &QPushButton::clicked, this, &Form1::Cancel);
}

void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!services_.screenshotDir.isEmpty() && !screenshotTaken_) {
    screenshotTaken_ = true;
    QTimer::singleShot(0, this, [this] { SaveScreenshot(this, services_.screenshotDir, QStringLiteral("Form1")); });
  }
}

void Form1::Calculate() {
  // 1. Attach the workbook before any choice is looked at. Without one there
  //    is nothing this window can do: the message names the folder and the
  //    file names searched, and the program ends.
  RunRequest request;
  try {
    request.workbookPath = services_.locateWorkbook();
  } catch (...) {
    ShowRunError(this, std::current_exception());
    services_.endProgram(1);
    return;
  }

  // 2. A data sheet must be selected.
  if (!option1_[0]->isChecked() && !option1_[1]->isChecked()) {
    ShowWarning(this, QStringLiteral("Please, select type of data to be processed"));
    return;
  }

  // 3. The variable pair, tested in index order. Without a pair the
  //    hydrogen-ion concentration would stay 0 and the first solve would end
  //    in a division by zero, so the procedure stops here like the data-sheet
  //    check, and the window stays open for another try.
  static constexpr CarbonatePair kPairs[] = {CarbonatePair::AlkalinityPH, CarbonatePair::AlkalinityPCO2,
                                             CarbonatePair::BicarbonateCarbonate, CarbonatePair::DICPH,
                                             CarbonatePair::AlkalinityDIC};
  bool pairSelected = false;
  for (int i = 0; i < 5; ++i) {
    if (option2_[i]->isChecked()) {
      state_.InputPair = kPairs[i];
      pairSelected = true;
    }
  }
  if (!pairSelected) {
    ShowWarning(this, QStringLiteral("Please, select variables featuring the carbonic system"));
    return;
  }
  request.inputPair = state_.InputPair;

  // 4. Main sheet: the single sample runs at once, inside this handler.
  if (option1_[0]->isChecked()) {
    state_.SheetMode = DataSheet::Main;
    request.sheetMode = state_.SheetMode;
    if (!RunOrEnd(this, services_, state_, request, nullptr)) return;
  }

  // 5. Batch sheet: the progress window starts the run once it is on screen.
  //    It has no owner, so it outlives this window.
  if (option1_[1]->isChecked()) {
    state_.SheetMode = DataSheet::Batch;
    request.sheetMode = state_.SheetMode;
    auto* progress = new Form2(state_, request, services_);
    progress->show();
  }

  // 6. The main window's work is done.
  close();
}

void Form1::Cancel() {
  // Ends the program at once: no run, no workbook, no closing events.
  services_.endProgram(0);
}

} // namespace vontralek::ui
