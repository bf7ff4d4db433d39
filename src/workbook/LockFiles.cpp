#include "workbook/LockFiles.h"

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
#include "workbook/Workbook.h"

namespace vontralek::workbook {

namespace fs = std::filesystem;

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "localhost";
  return host;
}

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

void CheckNotOpenElsewhere(const fs::path& path) {
  const fs::path target = Resolved(path);
  const fs::path folder = FolderOf(target);
  const std::string name = target.filename().string();
  std::error_code ec;
  const fs::path libreOffice = folder / LockFileName(name);
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

} // namespace vontralek::workbook
