#pragma once

// The zip package of a workbook, written: the parts of the package read, in
// their order, with some replaced, removed or added.

#include <map>
#include <set>
#include <string>

namespace vontralek::workbook {

class PackageReader;

// The new package. replaced: part name -> new content (a name the package
// lacks is added at the end); deleted: part names to leave out. Unchanged
// parts are copied as they are, compressed data and method included. What is
// written keeps within the reader's limits, so that it opens again; otherwise
// WorkbookError (nothing was written anywhere).
// deflateSeconds, when given, gains the time spent deflating.
std::string WritePackage(const PackageReader& source, std::map<std::string, std::string> replaced,
                         const std::set<std::string>& deleted, double* deflateSeconds = nullptr);

} // namespace vontralek::workbook
