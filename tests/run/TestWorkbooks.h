#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "workbook/MemoryWorkbook.h"

namespace vontralek::testing {

// The 30 log K of the shipped data set (data/default-logk.csv), row by row of
// the constant table.
std::vector<double> DefaultLogK();

// Fills worksheets 3 and 4 of a workbook with the default parameters: the log
// K of data/default-logk.csv in B5:G5 and C13:F18, the charges of the species
// (B4:L4) and complexes (B10:M10, B14:M14), every weight 1, start value E19 = 0
// and scale E20 = 1.
void FillDefaultParameters(workbook::MemoryWorkbook& workbook);

// Writes every cell of the in-memory workbook's four sheets to an .xlsx file
// (numbers as numbers, texts as strings).
void WriteXlsx(const std::filesystem::path& path, workbook::MemoryWorkbook& workbook);

// A fresh folder for a test's files.
std::filesystem::path TestFolder(const std::string& name);

} // namespace vontralek::testing
