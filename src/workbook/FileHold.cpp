#include "workbook/FileHold.h"

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

[[noreturn]] void HeldElsewhere(const fs::path& path, const std::string& by, const std::string& remedy) {
  throw WorkbookError("The workbook \"" + path.string() + "\" is in use by " + by +
                      ". It was not read and not changed. " + remedy);
}

} // namespace

bool FileHold::LockFd(int fd, bool exclusive) {
  // Only a lock held by another process counts: a file system without locks
  // (some network shares) leaves the lock file as the only guard.
  auto heldElsewhere = [] { return errno == EWOULDBLOCK || errno == EAGAIN || errno == EACCES; };
  if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0 && heldElsewhere()) return false;
  // A record lock on the open file description: conflicts with lockf/fcntl
  // locks of other processes, and is not lost when another descriptor of the
  // same file is closed in this process (as a classic POSIX lock would be).
  struct flock record {};
  record.l_type = exclusive ? F_WRLCK : F_RDLCK;
  record.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &record) == 0 || !heldElsewhere();
}

bool FileHold::IdentityOf(const fs::path& path, Identity& identity) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  identity = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  return true;
}

FileHold::FileHold(const fs::path& path) : target_(Resolved(path)) {
  const fs::path folder = FolderOf(target_);
  const std::string name = target_.filename().string();
  const fs::path lockFile = folder / LockFileName(name);
  std::error_code ec;
  if (fs::exists(lockFile, ec) && IsStaleLockOfOurs(lockFile)) fs::remove(lockFile, ec);
  CheckNotOpenElsewhere(target_);

  bool exclusive = true;
  fd_ = ::open(target_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    exclusive = false; // a file we may only read still keeps writers out
    fd_ = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd_ < 0) return; // a missing or unreadable file is reported when it is read
  if (!LockFd(fd_, exclusive)) {
    ::close(fd_);
    fd_ = -1;
    HeldElsewhere(target_, "another program (it holds a lock on the file, e.g. another VONTRALEK run)",
                  "Wait until that program has finished, then run again.");
  }
  IdentityOf(target_, identity_);

  // LibreOffice's lock file, so that LibreOffice warns a user who opens the
  // workbook during the run. A folder we may not write gets none.
  const int lock = ::open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (lock >= 0) {
    const std::string content = LockFileContent();
    const bool written = ::write(lock, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(lock);
    if (written) {
      lockFile_ = lockFile;
    } else {
      ::unlink(lockFile.c_str());
    }
  } else if (errno == EEXIST) {
    ::close(fd_);
    fd_ = -1;
    HeldElsewhere(target_,
                  "LibreOffice or another VONTRALEK run (its lock file \"" + lockFile.filename().string() +
                      "\" appeared beside it)",
                  "Close the workbook there, then run again.");
  }

  // Temporary files of an earlier save that was killed: ours by their name,
  // and no other run can be saving this workbook while we hold it.
  const std::string prefix = TemporaryPrefix(name);
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string other = entry.path().filename().string();
    struct stat st {};
    // Six characters, or twelve when the package writer's own file was left.
    const bool ours =
        other.size() == prefix.size() + 6 || (other.size() == prefix.size() + 13 && other[prefix.size() + 6] == '.');
    if (ours && other.compare(0, prefix.size(), prefix) == 0 && ::lstat(entry.path().c_str(), &st) == 0 &&
        S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
      ::unlink(entry.path().c_str());
    }
  }
}

FileHold::~FileHold() {
  if (!lockFile_.empty()) ::unlink(lockFile_.c_str());
  if (fd_ >= 0) ::close(fd_);
}

bool FileHold::Holds(const fs::path& path) const {
  std::error_code ec;
  return fs::equivalent(Resolved(path), target_, ec);
}

void FileHold::CheckUnchanged() const {
  Identity now;
  if (fd_ >= 0 && IdentityOf(target_, now) && now == identity_) return;
  throw WorkbookError("The workbook \"" + target_.string() +
                      "\" was changed, replaced or removed by another program while VONTRALEK was running. Nothing "
                      "was written: the file keeps the other program's version and the results of this run were not "
                      "saved. Run again on the file as it is now, or save the results to another file with -o.");
}

void FileHold::Replaced(int newFd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = newFd;
  IdentityOf(target_, identity_);
}

} // namespace vontralek::workbook
