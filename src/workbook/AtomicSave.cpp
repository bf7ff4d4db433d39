#include "workbook/AtomicSave.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <system_error>
#include <vector>

#include "common/Errors.h"
#include "workbook/FileNames.h"
#include "workbook/LockFiles.h"
#include "workbook/Workbook.h"

namespace vontralek::workbook {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void SaveFailed(const fs::path& path, const std::string& step, int error) {
  std::string hint = "Check that the folder is writable and the disk is not full, then run again.";
  if (error == EFBIG) {
    hint = "The file would be larger than the file size limit of this session (ulimit -f): raise the limit or save a "
           "smaller batch.";
  }
  throw WorkbookError("Cannot save the workbook \"" + path.string() + "\": " + step + " failed (" +
                      std::strerror(error) + "). The workbook on disk was not changed. " + hint);
}

mode_t DefaultMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// While the file is written a size limit gives EFBIG instead of killing the
// process with SIGXFSZ.
struct IgnoreFileSizeSignal {
  struct sigaction previous {};
  IgnoreFileSizeSignal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
  }
  ~IgnoreFileSizeSignal() { ::sigaction(SIGXFSZ, &previous, nullptr); }
};

} // namespace

void WriteFileAtomically(const fs::path& requested, const std::string& bytes) {
  WriteFileAtomically(requested, bytes, nullptr);
}

void WriteFileAtomically(const fs::path& requested, const std::string& bytes, FileHold* hold) {
  WriteFileAtomically(
      requested,
      [&](int fd, const fs::path& path) {
        std::size_t done = 0;
        while (done < bytes.size()) {
          const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
          if (n < 0) {
            if (errno == EINTR) continue;
            SaveFailed(requested, "writing the temporary file \"" + path.filename().string() + "\"", errno);
          }
          done += static_cast<std::size_t>(n);
        }
      },
      hold);
}

void WriteFileAtomically(const fs::path& requested, const std::function<void(int, const fs::path&)>& write,
                         FileHold* hold) {
  // Replace the file a link points to, not the link.
  const fs::path path = Resolved(requested);
  const fs::path folder = FolderOf(path);
  // The temporary file lives in the same folder so that the rename is atomic.
  std::string pattern = (folder / (TemporaryPrefix(path.filename().string()) + "XXXXXX")).string();
  const IgnoreFileSizeSignal noSignal;
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) SaveFailed(path, "creating a temporary file in \"" + folder.string() + "\"", errno);
  const fs::path temporary = pattern;
  auto abandon = [&](const std::string& step, int error) {
    ::close(fd);
    ::unlink(temporary.c_str());
    SaveFailed(path, step, error);
  };
  try {
    write(fd, temporary);
  } catch (...) {
    ::close(fd);
    ::unlink(temporary.c_str());
    throw;
  }
  // A writer that put another file in its place: that file is the one kept.
  struct stat written {
  }, named{};
  if (::fstat(fd, &written) != 0 || ::stat(temporary.c_str(), &named) != 0)
    abandon("writing the temporary file", errno);
  if (written.st_ino != named.st_ino || written.st_dev != named.st_dev) {
    ::close(fd);
    fd = ::open(temporary.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      ::unlink(temporary.c_str());
      SaveFailed(path, "reopening the temporary file", error);
    }
  }
  struct stat original {};
  const bool exists = ::stat(path.c_str(), &original) == 0;
  const mode_t mode = exists ? (original.st_mode & 07777) : DefaultMode();
  // Owner and group first: changing them may clear set-id bits of the mode.
  if (exists && ::fchown(fd, original.st_uid, original.st_gid) != 0) {
    abandon("keeping the file's owner and group", errno);
  }
  if (::fchmod(fd, mode) != 0) abandon("setting the file permissions", errno);
  if (::fsync(fd) != 0) abandon("flushing the file to disk", errno);
  if (hold) {
    // The new file is locked before it takes the name, then replaces the old
    // one only if that is still the file that was read.
    if (!FileHold::LockFd(fd, true)) abandon("locking the new file", EAGAIN);
    try {
      hold->CheckUnchanged();
    } catch (...) {
      ::close(fd);
      ::unlink(temporary.c_str());
      throw;
    }
  } else if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    SaveFailed(path, "closing the temporary file", error);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    if (hold) ::close(fd);
    ::unlink(temporary.c_str());
    SaveFailed(path, "replacing the file", error);
  }
  if (hold) hold->Replaced(fd);
  // Make the rename itself durable.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

} // namespace vontralek::workbook
