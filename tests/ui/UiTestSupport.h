#pragma once

// Fakes for the windows' services and a catcher for modal message boxes, so
// the windows run on the offscreen platform without a workbook or a user.

#include <filesystem>
#include <functional>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "model/Errors.h"
#include "ui/RunServices.h"

namespace vontralek::ui::testing {

// Records every call the windows make to their services.
struct FakeServices {
  std::filesystem::path workbook = "/data/VONTRALEK.xlsx";
  int locateCalls = 0;
  std::function<void()> locateFails; // throws when set
  std::vector<RunRequest> runs;
  std::vector<bool> runHadListener;
  // What the fake run does with the listener (the default: nothing).
  std::function<void(ModelState&, const RunRequest&, ProgressListener*)> onRun;
  std::vector<int> endCodes;

  RunServices Bind() {
    RunServices services;
    services.locateWorkbook = [this] {
      ++locateCalls;
      if (locateFails) locateFails();
      return workbook;
    };
    services.run = [this](ModelState& state, const RunRequest& request, ProgressListener* progress) {
      runs.push_back(request);
      runHadListener.push_back(progress != nullptr);
      if (onRun) onRun(state, request, progress);
      return RunSummary{};
    };
    services.endProgram = [this](int code) { endCodes.push_back(code); };
    return services;
  }
};

// What a message box showed before it was dismissed.
struct SeenMessageBox {
  QString text;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  int buttonCount = 0;
  bool modal = false;
};

// Watches the top-level windows and dismisses every message box with its OK
// button, recording what it showed.
class MessageBoxCatcher {
public:
  MessageBoxCatcher() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  const std::vector<SeenMessageBox>& seen() const { return seen_; }

private:
  void Poll() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(window);
      if (box == nullptr || !box->isVisible()) continue;
      SeenMessageBox s;
      s.text = box->text();
      s.title = box->windowTitle();
      s.icon = box->icon();
      s.buttons = box->standardButtons();
      s.buttonCount = static_cast<int>(box->buttons().size());
      s.modal = box->isModal();
      seen_.push_back(s);
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
      } else {
        box->done(0);
      }
    }
  }

  QTimer timer_;
  std::vector<SeenMessageBox> seen_;
};

// The visible top-level window with the object name, or nullptr.
inline QWidget* FindWindow(const QString& name) {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->objectName() == name && window->isVisible()) return window;
  }
  return nullptr;
}

} // namespace vontralek::ui::testing
