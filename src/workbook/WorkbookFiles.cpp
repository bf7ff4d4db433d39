// Reading a workbook file, and the check that it may be replaced without harm.
// Holding it: FileHold.cpp; who else holds it: LockFiles.cpp; replacing it:
// AtomicSave.cpp.

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
#include "workbook/FileNames.h"
#include "workbook/Workbook.h"

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
  const std::size_t longest = std::max(TemporaryPrefix(name).size() + 6, LockFileName(name).size());
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

} // namespace vontralek::workbook
