#pragma once

// The zip package of a workbook, written: the parts of the package read, in
// their order, with some replaced, removed or added.

#include <map>
#include <set>
#include <string>

namespace vontralek::workbook {

class PackageReader;
class DeflateStream;

// The new package. replaced: part name -> new content (a name the package
// lacks is added at the end); deleted: part names to leave out. Unchanged
// parts are copied as they are, compressed data and method included. What is
// written keeps within the reader's limits, so that it opens again; otherwise
// WorkbookError (nothing was written anywhere).
// deflateSeconds, when given, gains the time spent deflating. streamed: parts
// deflated as they were written (part name -> stream), in place of the
// source's. With path the package goes to that file and nothing is returned.
std::string WritePackage(const PackageReader& source, std::map<std::string, std::string> replaced,
                         const std::set<std::string>& deleted, double* deflateSeconds = nullptr,
                         const std::map<std::string, const DeflateStream*>& streamed = {},
                         const std::string* path = nullptr);

} // namespace vontralek::workbook
