#pragma once

// A worksheet of pictures in an xlsx package: the worksheet part with its
// drawing, the drawing's relationships and the PNG parts; the workbook's
// sheet entry, its relationship and the content types of the new parts.

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "workbook/Pictures.h"

namespace vontralek::workbook {

class PackageReader;

// What a worksheet part holds: ours when it has a drawing and every picture of
// its drawings is named with marker; foreign otherwise.
PictureSheetState PictureSheetOf(const PackageReader& package, const std::string& sheetPart, std::string_view marker);

// The parts that put pictures into a package, kept until the save.
struct PictureChanges {
  std::map<std::string, std::string> parts; // new or rewritten parts
  std::set<std::string> deleted;            // images of ours no longer used
  // Added to the workbook's relationships and to [Content_Types].xml at the save.
  struct Relationship {
    std::string id, type, target;
  };
  std::vector<Relationship> workbookRelationships;
  std::map<std::string, std::string> overrides; // "/xl/drawings/drawing1.xml" -> content type
  bool pngDefault = false;
  bool Empty() const { return parts.empty() && deleted.empty(); }
};

// Puts pictures on a new worksheet name after the last one: its entry in
// workbookDoc (the workbook part's document) and its parts in changes.
void AddPictureSheet(const PackageReader& package, const std::string& workbookPart, pugi::xml_document& workbookDoc,
                     const std::string& name, const std::vector<Picture>& pictures, PictureChanges& changes);

// Puts pictures in place of those of our worksheet part sheetPart.
void ReplacePictures(const PackageReader& package, const std::string& sheetPart, const std::vector<Picture>& pictures,
                     PictureChanges& changes);

// Adds the relationships and content types of changes to the parts in
// replaced (or, where replaced lacks them, to the package's own).
void ApplyPictureChanges(const PackageReader& package, const std::string& workbookPart, const PictureChanges& changes,
                         std::map<std::string, std::string>& replaced, std::set<std::string>& deleted);

} // namespace vontralek::workbook
