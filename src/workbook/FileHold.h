#pragma once

// Holding a workbook file while a run has it open, inside the workbook layer.

#include <sys/types.h>

#include <ctime>
#include <filesystem>

namespace vontralek::workbook {

// The locks of one run on one workbook file: LibreOffice's lock file beside it
// and an advisory lock on the file itself (flock and an open-file-description
// record lock, which lockf users see). Made before the file is read; released
// and the lock file removed when destroyed.
class FileHold {
public:
  // Refuses (WorkbookError) a workbook that another program holds. A lock file
  // of an earlier VONTRALEK run that was killed, and its leftover temporary
  // files, are removed.
  explicit FileHold(const std::filesystem::path& path);
  ~FileHold();
  FileHold(const FileHold&) = delete;
  FileHold& operator=(const FileHold&) = delete;

  // The file the locks are on (a symbolic link resolved).
  const std::filesystem::path& Target() const { return target_; }
  bool Holds(const std::filesystem::path& path) const;
  // Throws WorkbookError when the file is no longer the one that was read
  // (replaced, rewritten or removed by another program); nothing is written then.
  void CheckUnchanged() const;
  // The file was replaced by ours: newFd (open on the new file, locked by the
  // caller with LockFd) is held from now on.
  void Replaced(int newFd);
  // Takes both advisory locks on fd; false if another process holds one.
  static bool LockFd(int fd, bool exclusive);

private:
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const Identity& o) const {
      return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
             modified.tv_nsec == o.modified.tv_nsec;
    }
  };
  static bool IdentityOf(const std::filesystem::path& path, Identity& identity);

  std::filesystem::path target_;
  std::filesystem::path lockFile_; // empty when none was written
  int fd_ = -1;
  Identity identity_;
};

} // namespace vontralek::workbook
