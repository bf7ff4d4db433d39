#pragma once

#include <filesystem>
#include <optional>

namespace vontralek {

// Where the programs find their workbook when none is named.
//
// In the build tree the workbook sits beside the programs (bin/VONTRALEK.xlsx)
// and is used in place, as always. An installed program never edits a file of
// its installation: the shipped workbook is a template under
// <prefix>/share/vontralek/, and the programs work on the user's own copy in
// $XDG_DATA_HOME/vontralek/ (else ~/.local/share/vontralek/), made from the
// template the first time it is needed.
struct UserDataPlaces {
  std::optional<std::filesystem::path> xdgDataHome; // $XDG_DATA_HOME, when set and absolute
  std::optional<std::filesystem::path> home;        // $HOME, when set
};

struct DefaultWorkbook {
  std::filesystem::path path;
  std::optional<std::filesystem::path> createdFrom; // set when the copy was made from the template just now
};

// The template of an installed program in programFolder (<prefix>/bin).
std::filesystem::path InstalledTemplatePath(const std::filesystem::path& programFolder);

// The folder of the user's own workbook: $XDG_DATA_HOME/vontralek, else
// $HOME/.local/share/vontralek. Throws RunError when neither is known.
std::filesystem::path UserWorkbookFolder(const UserDataPlaces& places);

// The workbook beside the program when there is one (the build tree); else the
// user's copy (VONTRALEK.xls, else VONTRALEK.xlsx), created from the installed
// template when it does not exist yet. Throws RunError naming the places
// searched when there is neither a workbook nor a template, or when the copy
// cannot be made.
DefaultWorkbook LocateDefaultWorkbook(const std::filesystem::path& programFolder, const UserDataPlaces& places);

// $XDG_DATA_HOME and $HOME of this process (for the programs' entry points).
UserDataPlaces UserDataPlacesFromEnvironment();

} // namespace vontralek
