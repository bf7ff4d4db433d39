// Reading and replacing workbook files on disk, and the check that no
// spreadsheet application holds the workbook open.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "common/Errors.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {

namespace fs = std::filesystem;

std::string ReadWorkbookFile(const fs::path& path) {
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (ec || !fs::exists(status)) {
    throw WorkbookError("The workbook \"" + path.string() +
                        "\" does not exist. Check the file name and folder, or copy the workbook there.");
  }
  if (!fs::is_regular_file(status)) {
    throw WorkbookError("\"" + path.string() +
                        "\" is not a file but a folder or a device. Give the path of the workbook file.");
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  if (in) {
    const auto size = fs::file_size(path, ec);
    if (!ec) bytes.reserve(static_cast<std::size_t>(size));
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (!in && !in.eof()) {
    throw WorkbookError("The workbook \"" + path.string() + "\" cannot be read (" + std::strerror(errno) +
                        "). Check that you may read the file.");
  }
  return bytes;
}

namespace {

[[noreturn]] void SaveFailed(const fs::path& path, const std::string& step, int error) {
  throw WorkbookError("Cannot save the workbook \"" + path.string() + "\": " + step + " failed (" +
                      std::strerror(error) +
                      "). The workbook on disk was not changed. Check that the folder is writable and the disk is not "
                      "full, then run again.");
}

mode_t DefaultMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

} // namespace

void WriteFileAtomically(const fs::path& requested, const std::string& bytes) {
  // Replace the file a link points to, not the link.
  std::error_code ec;
  fs::path path = fs::is_symlink(requested, ec) ? fs::canonical(requested, ec) : requested;
  if (ec) path = requested;
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  // The temporary file lives in the same folder so that the rename is atomic.
  std::string pattern = (folder / (".~" + path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) SaveFailed(path, "creating a temporary file in \"" + folder.string() + "\"", errno);
  const fs::path temporary = pattern;
  auto abandon = [&](const std::string& step) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    SaveFailed(path, step, error);
  };
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      abandon("writing the temporary file");
    }
    done += static_cast<std::size_t>(n);
  }
  struct stat original {};
  const mode_t mode = ::stat(path.c_str(), &original) == 0 ? (original.st_mode & 07777) : DefaultMode();
  if (::fchmod(fd, mode) != 0) abandon("setting the file permissions");
  if (::fsync(fd) != 0) abandon("flushing the file to disk");
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    SaveFailed(path, "closing the temporary file", error);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    SaveFailed(path, "replacing the file", error);
  }
  // Make the rename itself durable.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

void CheckNotOpenElsewhere(const fs::path& path) {
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const std::string name = path.filename().string();
  std::error_code ec;
  const fs::path libreOffice = folder / (".~lock." + name + "#");
  if (fs::exists(libreOffice, ec)) {
    throw WorkbookError("The workbook \"" + path.string() + "\" is open in LibreOffice (its lock file \"" +
                        libreOffice.filename().string() +
                        "\" is beside it). Close the workbook in LibreOffice, then run again. If LibreOffice is not "
                        "running, delete the lock file.");
  }
  // Excel puts "~$" before the name; Office shortens long names by two characters.
  std::vector<fs::path> excel = {folder / ("~$" + name)};
  if (name.size() > 2) excel.push_back(folder / ("~$" + name.substr(2)));
  for (const fs::path& owner : excel) {
    if (fs::exists(owner, ec)) {
      throw WorkbookError("The workbook \"" + path.string() + "\" is open in Excel (its owner file \"" +
                          owner.filename().string() +
                          "\" is beside it). Close the workbook in Excel, then run again. If Excel is not running, "
                          "delete the owner file.");
    }
  }
}

} // namespace vontralek::workbook
