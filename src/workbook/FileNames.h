#pragma once

// Where the files that belong to a workbook file lie: beside the file a
// symbolic link points to.

#include <filesystem>
#include <string>

namespace vontralek::workbook {

// The file a symbolic link points to (followed to the end), else path itself:
// locks, temporary files and the replaced file all belong beside the target.
std::filesystem::path Resolved(const std::filesystem::path& path);

// The folder of path ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path& path);

// The name of our temporary file beside a workbook: ".~NAME.vontralek-" and six characters.
std::string TemporaryPrefix(const std::string& name);

// LibreOffice's lock file beside the workbook named name: ".~lock.NAME#".
inline std::string LockFileName(const std::string& name) { return ".~lock." + name + "#"; }

} // namespace vontralek::workbook
