#include "workbook/TemporarySpace.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/Errors.h"

namespace vontralek::workbook {

namespace fs = std::filesystem;

fs::path TemporaryFolder(const fs::path& target) {
  if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir) return tmpdir;
  const fs::path folder = fs::absolute(target).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

std::FILE* UnnamedTemporaryFile(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string pattern = (folder / ".vontralek-rows-XXXXXX").string();
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(pattern.c_str());
  }
  std::FILE* file = fd >= 0 ? ::fdopen(fd, "w+b") : nullptr;
  if (!file) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw WorkbookError("No temporary file for the rows of a large worksheet could be made in \"" + folder.string() +
                        "\" (" + std::strerror(error) +
                        "). Set TMPDIR to a folder you may write in, with room to spare.");
  }
  return file;
}

std::optional<std::uint64_t> FreeSpace(const fs::path& path) {
  struct statvfs fs {};
  if (::statvfs(path.c_str(), &fs) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

std::uint64_t StreamedRowsEstimate(std::uint64_t partBytes, std::uint64_t rows, int columns) {
  const std::uint64_t bytes = partBytes / 6 + rows * static_cast<std::uint64_t>(columns > 0 ? columns : 0) * 11;
  return bytes + bytes / 4;
}

void CheckTemporarySpace(const fs::path& folder, std::uint64_t needed, const std::string& what,
                         const FreeSpaceQuery& query) {
  const std::optional<std::uint64_t> free = query ? query(folder) : FreeSpace(folder);
  if (!free || *free >= needed) return;
  const auto megabytes = [](std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; };
  throw WorkbookError("Not enough free space in \"" + folder.string() + "\" for this run: about " +
                      megabytes(needed + (1 << 20) - 1) + " are needed there for " + what + ", but only " +
                      megabytes(*free) +
                      " are free. Free some space there, set TMPDIR to a folder with more room (e.g. "
                      "TMPDIR=/var/tmp), or split the batch over smaller workbooks.");
}

} // namespace vontralek::workbook
