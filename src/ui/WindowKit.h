#pragma once

#include <exception>

#include <QFont>
#include <QString>

#include "ui/RunServices.h"

class QWidget;

namespace vontralek::ui {

// The program's title: the caption of both windows and of every message box.
inline const QString kApplicationTitle = QStringLiteral("VONTRALEK");

// Forms are laid out in twips (1/1440 inch). 15 twips make one pixel at
// 96 dpi; on other screens the pixel count scales with the logical dpi.
int TwipsToPixels(double twips, int logicalDpi);

// Places a widget by its twips geometry, relative to its parent, and keeps
// the twips values as properties ("twipsLeft", "twipsTop", "twipsWidth",
// "twipsHeight") as the form's own coordinates.
void PlaceInTwips(QWidget* widget, double left, double top, double width, double height);
// Changes only the width, in twips.
void SetTwipsWidth(QWidget* widget, double width);

// The forms' typeface at a point size; fontconfig substitutes a metric
// look-alike where the family itself is not installed.
QFont FormFont(double pointSize, bool bold = false);

// A modal warning: the text, the exclamation icon, a single OK button and the
// program's title as caption. Returns when the user has dismissed it.
void ShowWarning(QWidget* parent, const QString& text);

// Shows the message of an error that ended a run (or the attaching of the
// workbook) as a warning.
void ShowRunError(QWidget* parent, const std::exception_ptr& error);

// Runs through the services; a run error is shown over window and ends the
// program with exit code 1. Returns whether the run succeeded.
bool RunOrEnd(QWidget* window, const RunServices& services, ModelState& state, const RunRequest& request,
              ProgressListener* progress);

// Saves a picture of the window as <directory>/<name>.png; nothing when the
// directory is empty.
void SaveScreenshot(QWidget* window, const QString& directory, const QString& name);

} // namespace vontralek::ui
