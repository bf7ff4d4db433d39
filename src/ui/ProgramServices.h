#pragma once

#include <filesystem>

#include <QString>

#include "ui/RunServices.h"

namespace vontralek::ui {

// The services of the real program: the calculation run on the workbook file,
// the workbook named on the command line (namedWorkbook, when not empty) or
// else the one in the program's own folder, and the end of the event loop.
RunServices ProgramServices(const std::filesystem::path& namedWorkbook, const QString& screenshotDir);

} // namespace vontralek::ui
