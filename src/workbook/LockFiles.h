#pragma once

// The lock files of LibreOffice (which we write too, naming our process) and
// the owner files of Excel: who else holds a workbook.

#include <filesystem>
#include <string>

namespace vontralek::workbook {

// This machine's name, as lock files give it.
std::string HostName();

// LibreOffice's lock file: "author,user,host,date,profile;". Ours names the
// process in the author field, which LibreOffice shows as who has the file.
std::string LockFileContent();

// A lock file left by a VONTRALEK run on this machine whose process is gone.
bool IsStaleLockOfOurs(const std::filesystem::path& lockFile);

// The lock file this process wrote (see FileHold).
bool IsOwnLock(const std::filesystem::path& lockFile);

} // namespace vontralek::workbook
