// Reading and replacing workbook files on disk, holding a workbook while a run
// has it open, and the checks that no other program holds it and that it may
// be replaced without harm.

#include "workbook/WorkbookFiles.h"

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
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {

namespace fs = std::filesystem;

namespace {

// The file a symbolic link points to (followed to the end), else path itself:
// locks, temporary files and the replaced file all belong beside the target.
fs::path Resolved(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  const fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target;
}

fs::path FolderOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "localhost";
  return host;
}

// LibreOffice's lock file: "author,user,host,date,profile;". Ours names the
// process in the author field, which LibreOffice shows as who has the file.
std::string LockFileContent() {
  const char* user = std::getenv("USER");
  char date[32] = {};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::strftime(date, sizeof date, "%d.%m.%Y %H:%M", &local);
  return "VONTRALEK (process " + std::to_string(::getpid()) + ")," + (user ? user : "") + "," + HostName() + "," +
         date + ",;";
}

// A lock file left by a VONTRALEK run on this machine whose process is gone.
bool IsStaleLockOfOurs(const fs::path& lockFile) {
  std::ifstream in(lockFile);
  std::string content;
  std::getline(in, content);
  const std::string prefix = "VONTRALEK (process ";
  if (content.rfind(prefix, 0) != 0) return false;
  const long pid = std::strtol(content.c_str() + prefix.size(), nullptr, 10);
  std::vector<std::string> fields;
  for (std::size_t start = 0;;) {
    const auto comma = content.find(',', start);
    fields.push_back(content.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (pid <= 0 || fields.size() < 3 || fields[2] != HostName()) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// The lock file this process wrote (see FileHold).
bool IsOwnLock(const fs::path& lockFile) {
  std::ifstream in(lockFile);
  std::string content;
  std::getline(in, content);
  std::string own = "VONTRALEK (process ";
  own += std::to_string(::getpid());
  own += "),";
  std::string host = ",";
  host += HostName();
  host += ",";
  return content.rfind(own, 0) == 0 && content.find(host) != std::string::npos;
}

[[noreturn]] void HeldElsewhere(const fs::path& path, const std::string& by, const std::string& remedy) {
  throw WorkbookError("The workbook \"" + path.string() + "\" is in use by " + by +
                      ". It was not read and not changed. " + remedy);
}

} // namespace

std::string TemporaryPrefix(const std::string& name) { return ".~" + name + ".vontralek-"; }

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
    // Read in place: assigning from stream iterators would build a second,
    // growing copy (three times the file at the peak).
    char chunk[1 << 16];
    if (!ec) bytes.reserve(static_cast<std::size_t>(size));
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  if (!in && !in.eof()) {
    throw WorkbookError("The workbook \"" + path.string() + "\" cannot be read (" + std::strerror(errno) +
                        "). Check that you may read the file.");
  }
  return bytes;
}

// ---------------------------------------------------------------------------
// Holding the file

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
  const fs::path lockFile = folder / (".~lock." + name + "#");
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

// ---------------------------------------------------------------------------
// Checks before saving

void CheckNotOpenElsewhere(const fs::path& path) {
  const fs::path target = Resolved(path);
  const fs::path folder = FolderOf(target);
  const std::string name = target.filename().string();
  std::error_code ec;
  const fs::path libreOffice = folder / (".~lock." + name + "#");
  if (fs::exists(libreOffice, ec) && !IsOwnLock(libreOffice)) {
    std::ifstream in(libreOffice);
    std::string content;
    std::getline(in, content);
    if (content.rfind("VONTRALEK (process ", 0) == 0) {
      // "VONTRALEK (process N),user,host,date,;"
      const std::size_t run = content.find(','), user = content.find(',', run + 1);
      const std::string host = content.substr(user + 1, content.find(',', user + 1) - user - 1);
      throw WorkbookError("The workbook \"" + path.string() + "\" is in use by another " +
                          TextForMessage(content.substr(0, run)) + " run on " + TextForMessage(host) +
                          " (its lock file \"" + libreOffice.filename().string() +
                          "\" is beside it). Wait until that run has finished, then run again. If no such run is "
                          "going on, delete the lock file.");
    }
    throw WorkbookError("The workbook \"" + path.string() + "\" is open in LibreOffice (its lock file \"" +
                        libreOffice.filename().string() +
                        "\" is beside it). Close the workbook in LibreOffice, then run again. If LibreOffice is not "
                        "running, delete the lock file.");
  }
  // Excel's owner file is "~$" before the name. Office shortens a long name
  // by its first two characters: "~$" + name[2:] is ours only when no file of
  // that name lies beside it, else it is that file's owner file.
  std::vector<fs::path> excel = {folder / ("~$" + name)};
  if (name.size() > 2 + target.extension().string().size() + 5 && !fs::exists(folder / name.substr(2), ec)) {
    excel.push_back(folder / ("~$" + name.substr(2)));
  }
  for (const fs::path& owner : excel) {
    if (fs::exists(owner, ec)) {
      throw WorkbookError("The workbook \"" + path.string() + "\" is open in Excel (its owner file \"" +
                          owner.filename().string() +
                          "\" is beside it). Close the workbook in Excel, then run again. If Excel is not running, "
                          "delete the owner file.");
    }
  }
}

void CheckSavable(const fs::path& requested) {
  const fs::path path = Resolved(requested);
  const fs::path folder = FolderOf(path);
  const std::string name = path.filename().string();
  auto refuse = [&](const std::string& why, const std::string& remedy) {
    throw WorkbookError("The results cannot be saved to \"" + requested.string() + "\": " + why +
                        ". The file was not changed. " + remedy);
  };
  // The temporary file and LibreOffice's lock file beside it need longer names.
  const long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::size_t longest = std::max(TemporaryPrefix(name).size() + 6, (".~lock." + name + "#").size());
  if (nameMax > 0 && longest > static_cast<std::size_t>(nameMax)) {
    refuse("its name is " + std::to_string(name.size()) +
               " bytes long, too long for the temporary file a safe save "
               "writes beside it (at most " +
               std::to_string(nameMax - static_cast<long>(longest - name.size())) + " bytes here)",
           "Give the workbook a shorter name.");
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) refuse("it is not a file but a folder or a device", "Give the path of a workbook file.");
    // A file without write permission for its owner was marked read-only on
    // purpose, which even the administrator's run respects.
    if ((st.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0) {
      refuse("you may not write it (it is read-only or belongs to someone else)",
             "Make it writable (chmod u+w), or save the results to another file with -o.");
    }
    if (::geteuid() != 0 && st.st_uid != ::geteuid()) {
      refuse("it belongs to another user, and replacing it would make it yours",
             "Ask its owner to run VONTRALEK, or save the results to another file with -o.");
    }
    if (::geteuid() != 0 && st.st_gid != ::getegid()) {
      std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
      const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
      if (std::find(groups.begin(), groups.begin() + std::max(count, 0), st.st_gid) ==
          groups.begin() + std::max(count, 0)) {
        refuse("its group is one you are not a member of, and replacing it would change its group",
               "Save the results to another file with -o.");
      }
    }
    if (st.st_nlink > 1) {
      refuse("it has " + std::to_string(st.st_nlink) +
                 " names (hard links), and replacing it would leave the other names with the old content",
             "Save the results to another file with -o, or make a copy of the workbook and run on the copy.");
    }
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    refuse("you may not write in its folder \"" + folder.string() + "\", where a safe save writes a temporary file",
           "Save the results to another file with -o in a folder you may write.");
  }
}

// ---------------------------------------------------------------------------
// Replacing the file

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
