#include "ui/WindowKit.h"

#include <cstdio>
#include <string>

#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QVariant>
#include <QWidget>
#include <QtMath>

#include "common/Errors.h"
#include "run/DiagramSamples.h"
#include "run/Interruption.h"
#include "run/TableOptions.h"

namespace vontralek::ui {

int TwipsToPixels(double twips, int logicalDpi) { return qRound(twips / 15.0 * logicalDpi / 96.0); }

void PlaceInTwips(QWidget* widget, double left, double top, double width, double height) {
  widget->setProperty("twipsLeft", left);
  widget->setProperty("twipsTop", top);
  widget->setProperty("twipsWidth", width);
  widget->setProperty("twipsHeight", height);
  const int dpiX = widget->logicalDpiX();
  const int dpiY = widget->logicalDpiY();
  widget->setGeometry(TwipsToPixels(left, dpiX), TwipsToPixels(top, dpiY), TwipsToPixels(width, dpiX),
                      TwipsToPixels(height, dpiY));
}

void SetTwipsWidth(QWidget* widget, double width) {
  widget->setProperty("twipsWidth", width);
  widget->resize(TwipsToPixels(width, widget->logicalDpiX()), widget->height());
}

QFont FormFont(double pointSize, bool bold) {
  QFont font(QStringLiteral("Comic Sans MS"));
  font.setPointSizeF(pointSize);
  font.setBold(bold);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  return font;
}

void ShowWarning(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, kApplicationTitle, text, QMessageBox::Ok, parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

void ShowRunError(QWidget* parent, const std::exception_ptr& error) {
  QString text;
  try {
    std::rethrow_exception(error);
  } catch (const VontralekError& e) {
    // Our own errors already say what, where and what to do.
    text = QString::fromUtf8(e.what());
  } catch (const std::exception& e) {
    text = QStringLiteral("The run stopped on an unexpected error: %1").arg(QString::fromUtf8(e.what()));
  } catch (...) {
    text = QStringLiteral("The run stopped on an unexpected error.");
  }
  ShowWarning(parent, text);
}

bool RunOrEnd(QWidget* window, const RunServices& services, ModelState& state, const RunRequest& request,
              ProgressListener* progress) {
  try {
    // A batch whose failed samples got their reasons ("continue"): the
    // summary of samples calculated and failed, and the first failing rows.
    DiagramSamples samples; // handed to the end window
    RunRequest collecting = request;
    if (services.finished) collecting.options.collector = &samples;
    const RunSummary summary = services.run(state, collecting, progress);
    if (summary.samplesFailed > 0)
      ShowWarning(window, QString::fromUtf8(DescribeFailures(summary) +
                                            " Model: " + std::string(ModelText(summary.settings.model)) + "."));
    if (services.finished) services.finished(request, summary, std::move(samples.samples));
    return true;
  } catch (const RunStopped& stopped) {
    // Stopped from the terminal: said there, without a box that would wait
    // for a click; the samples calculated so far were saved.
    std::fprintf(stderr, "VONTRALEK: %s\n", stopped.what());
    services.endProgram(ExitStatusForSignal(stopped.Signal()));
    return false;
  } catch (...) {
    ShowRunError(window, std::current_exception());
    services.endProgram(1);
    return false;
  }
}

void SaveScreenshot(QWidget* window, const QString& directory, const QString& name) {
  if (directory.isEmpty()) return;
  QDir().mkpath(directory);
  window->grab().save(QDir(directory).filePath(name + QStringLiteral(".png")), "PNG");
}

} // namespace vontralek::ui
