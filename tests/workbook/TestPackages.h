#pragma once

// Builders of small workbook packages for the tests, independent of the code
// under test: parts are zipped with libzip directly or the workbook is made
// with libxlsxwriter.

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vontralek::workbook::test {

using Parts = std::vector<std::pair<std::string, std::string>>;

// A zip package holding the parts, in the given order.
std::string ZipParts(const Parts& parts);
// Every part of a package, uncompressed, by name.
std::map<std::string, std::string> UnzipParts(const std::string& bytes);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh empty folder for one test.
std::filesystem::path TestFolder(const std::string& name);

// The parts of a minimal workbook with one worksheet per given <sheetData>
// content (named Sheet1, Sheet2...). sharedStrings: the <si> elements, or
// empty for no shared-string part. calcChain: the <c> entries, or empty.
Parts MinimalParts(const std::vector<std::string>& sheetData, const std::string& sharedStrings = "",
                   const std::string& calcChain = "");

// A workbook made with libxlsxwriter: four named worksheets and a fifth, a
// number format, a bold heading, a formula, a defined name and a chart.
void MakeStyledWorkbook(const std::filesystem::path& path);

// Runs a command through the shell; returns its exit status and stdout.
std::pair<int, std::string> RunCommand(const std::string& command);

} // namespace vontralek::workbook::test
