#pragma once

// Replacing a workbook file all at once: the new content goes into a
// temporary file beside it, which is renamed over it only when complete.

#include <filesystem>
#include <functional>
#include <string>

#include "workbook/FileHold.h"

namespace vontralek::workbook {

// WriteFileAtomically, keeping hold on the replaced file when given.
void WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes, FileHold* hold);
// The same with the content written by write into the temporary file (open
// as fd; write may also replace the file of that name, e.g. by a rename).
void WriteFileAtomically(const std::filesystem::path& path,
                         const std::function<void(int fd, const std::filesystem::path& temporary)>& write,
                         FileHold* hold);

} // namespace vontralek::workbook
