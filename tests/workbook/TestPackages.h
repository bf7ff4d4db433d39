#pragma once

// Workbook packages for the tests, made without the code under test (libzip directly, or libxlsxwriter).

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vontralek::workbook::test {

using Parts = std::vector<std::pair<std::string, std::string>>;

// In the given order, deflated except the parts named in stored.
std::string ZipParts(const Parts& parts, const std::vector<std::string>& stored = {});
std::map<std::string, std::string> UnzipParts(const std::string& bytes); // uncompressed, by name
std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::filesystem::path TestFolder(const std::string& name); // fresh and empty

// The four package parts, one worksheet per <sheetData> content (Sheet1...),
// then sharedStrings (<si> elements) and calcChain (<c> entries) when given.
Parts MinimalParts(const std::vector<std::string>& sheetData, const std::string& sharedStrings = "",
                   const std::string& calcChain = "");

// libxlsxwriter's Main, Batch, Constants, Charges, Notes: number format, bold 14 pt heading, formula, name, chart.
void MakeStyledWorkbook(const std::filesystem::path& path);

} // namespace vontralek::workbook::test
