#pragma once

// The shared strings part: the texts that cells of type "s" refer to by index.

#include <string>
#include <vector>

namespace vontralek::workbook {

class PackageReader;

class SharedStrings {
public:
  // part may be empty (a workbook without shared strings); read on first use.
  SharedStrings(const PackageReader& package, std::string part) : package_(package), part_(std::move(part)) {}
  // The text of entry index; an index the part does not have is damage,
  // reported for the cell named in where.
  const std::string& At(long index, const std::string& where);

private:
  const PackageReader& package_;
  std::string part_;
  bool loaded_ = false;
  std::vector<std::string> strings_;
};

} // namespace vontralek::workbook
