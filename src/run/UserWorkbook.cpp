#include "run/UserWorkbook.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "run/RunError.h"
#include "run/RunWorkbook.h"

namespace vontralek {

namespace fs = std::filesystem;

namespace {

constexpr const char* kWorkbookNames[] = {"VONTRALEK.xls", "VONTRALEK.xlsx"};

std::optional<fs::path> ExistingWorkbookIn(const fs::path& folder) {
  std::error_code ignored;
  for (const char* name : kWorkbookNames) {
    if (fs::is_regular_file(folder / name, ignored)) return folder / name;
  }
  return std::nullopt;
}

// Copies the template to a temporary name in the folder and renames it into
// place, so that a copy cut short never passes for the user's workbook. The
// template is read-only where it is installed; the copy is the user's to edit.
void CopyTemplate(const fs::path& from, const fs::path& to) {
  const fs::path partial = to.parent_path() / (".VONTRALEK.xlsx.part-" + std::to_string(::getpid()));
  std::error_code error;
  fs::copy_file(from, partial, fs::copy_options::overwrite_existing, error);
  if (!error) fs::permissions(partial, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, error);
  if (!error) fs::rename(partial, to, error);
  if (error) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    throw RunError("Could not make your copy of the workbook " + to.string() + " from " + from.string() + ": " +
                   error.message() +
                   ". Check that the folder can be written to, or name a workbook on the command "
                   "line.");
  }
}

} // namespace

fs::path InstalledTemplatePath(const fs::path& programFolder) {
  return programFolder.parent_path() / "share" / "vontralek" / "VONTRALEK.xlsx";
}

fs::path UserWorkbookFolder(const UserDataPlaces& places) {
  // The XDG Base Directory rules: a relative $XDG_DATA_HOME is ignored.
  if (places.xdgDataHome && places.xdgDataHome->is_absolute()) return *places.xdgDataHome / "vontralek";
  if (places.home && !places.home->empty()) return *places.home / ".local" / "share" / "vontralek";
  throw RunError("No folder for your workbook: neither XDG_DATA_HOME nor HOME is set. Set one of them, or name a "
                 "workbook on the command line.");
}

DefaultWorkbook LocateDefaultWorkbook(const fs::path& programFolder, const UserDataPlaces& places) {
  if (const auto beside = ExistingWorkbookIn(programFolder)) return {*beside, std::nullopt};

  const fs::path templatePath = InstalledTemplatePath(programFolder);
  std::error_code ignored;
  if (!fs::is_regular_file(templatePath, ignored)) {
    // Neither built nor installed: the message of the workbook beside the program.
    return {DefaultWorkbookPath(programFolder), std::nullopt};
  }
  const fs::path folder = UserWorkbookFolder(places);
  if (const auto own = ExistingWorkbookIn(folder)) return {*own, std::nullopt};

  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    throw RunError("Could not create the folder for your workbook " + folder.string() + ": " + error.message() +
                   ". Check XDG_DATA_HOME and HOME, or name a workbook on the command line.");
  }
  const fs::path copy = folder / "VONTRALEK.xlsx";
  CopyTemplate(templatePath, copy);
  return {copy, templatePath};
}

UserDataPlaces UserDataPlacesFromEnvironment() {
  UserDataPlaces places;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) places.xdgDataHome = fs::path(xdg);
  if (const char* home = std::getenv("HOME"); home && *home) places.home = fs::path(home);
  return places;
}

} // namespace vontralek
