#include "workbook/FileNames.h"

#include <system_error>

namespace vontralek::workbook {

namespace fs = std::filesystem;

fs::path Resolved(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  const fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target;
}

fs::path FolderOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

std::string TemporaryPrefix(const std::string& name) { return ".~" + name + ".vontralek-"; }

} // namespace vontralek::workbook
