#pragma once

// The calculation chain: the order in which the spreadsheet last calculated
// the formula cells. A cell whose formula was replaced by a constant must
// leave it (Excel reports a chain naming a constant as damage).

#include <pugixml.hpp>

#include <map>
#include <set>
#include <string>
#include <utility>

namespace vontralek::workbook {

class PackageReader;

class CalcChain {
public:
  // part may be empty (no chain); workbookPart owns its relationship.
  CalcChain(const PackageReader& package, std::string part, std::string workbookPart)
      : package_(package), part_(std::move(part)), workbookPart_(std::move(workbookPart)) {}
  // The formula of cell ref ("B5") of the sheet with sheetId is gone.
  void Remove(int sheetId, std::string ref) { removals_.insert({sheetId, std::move(ref)}); }
  // Adds the new chain to replaced (part -> XML); a chain left empty is
  // deleted instead, with its relationship and content type.
  void Apply(std::map<std::string, std::string>& replaced, std::set<std::string>& deleted);

private:
  const PackageReader& package_;
  std::string part_, workbookPart_;
  bool loaded_ = false;
  pugi::xml_document doc_;
  std::set<std::pair<int, std::string>> removals_; // (sheetId, "B5")
};

} // namespace vontralek::workbook
