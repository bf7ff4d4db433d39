#include "TestWorkbooks.h"

#include <xlsxwriter.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vontralek::testing {

std::vector<double> DefaultLogK() {
  std::ifstream in(std::string(VONTRALEK_DATA_DIR) + "/default-logk.csv");
  if (!in) throw std::runtime_error("default-logk.csv not found");
  std::vector<double> logK;
  std::string line;
  std::getline(in, line); // header: row,reaction,logK,source
  while (std::getline(in, line)) {
    // The reaction text holds no comma before the third field.
    std::stringstream fields(line);
    std::string row, reaction, value;
    std::getline(fields, row, ',');
    std::getline(fields, reaction, ',');
    std::getline(fields, value, ',');
    logK.push_back(std::stod(value));
  }
  if (logK.size() != 30) throw std::runtime_error("default-logk.csv should list 30 constants");
  return logK;
}

void FillDefaultParameters(workbook::MemoryWorkbook& workbook) {
  using workbook::CellValue;
  const std::vector<double> logK = DefaultLogK();
  auto& constants = workbook.Sheet(3);
  // Constants 1 to 6 in B5:G5; complex constant 4h + c + 6 in row 13 + h,
  // column 2 + c (ligand rows OH-, L1, L2, SO4, HCO3, CO3; cation columns C:F).
  for (int i = 1; i <= 6; ++i) constants.Put(5, i + 1, CellValue::Number(logK[static_cast<std::size_t>(i - 1)]));
  for (int h = 0; h <= 5; ++h) {
    for (int c = 1; c <= 4; ++c) {
      constants.Put(13 + h, 2 + c, CellValue::Number(logK[static_cast<std::size_t>(4 * h + c + 6 - 1)]));
    }
  }
  auto& charges = workbook.Sheet(4);
  // H+, OH-, Na+, K+, Ca2+, Mg2+, Cl-, NO3-, SO4 2-, HCO3-, CO3 2-.
  const int speciesCharge[11] = {+1, -1, +1, +1, +2, +2, -1, -1, -2, -1, -2};
  for (int i = 1; i <= 11; ++i) {
    charges.Put(4, i + 1, CellValue::Number(speciesCharge[i - 1]));
    charges.Put(6, i + 1, CellValue::Number(1));
  }
  // Complexes 1 to 24: each cation (Na, K, Ca, Mg) with OH-, Cl-, NO3-, SO4,
  // HCO3-, CO3 2-.
  const int complexCharge[24] = {0, 0, +1, +1, 0, 0, +1, +1, 0, 0, +1, +1, -1, -1, 0, 0, 0, 0, +1, +1, -1, -1, 0, 0};
  for (int j = 1; j <= 12; ++j) {
    charges.Put(10, j + 1, CellValue::Number(complexCharge[j - 1]));
    charges.Put(11, j + 1, CellValue::Number(1));
    charges.Put(14, j + 1, CellValue::Number(complexCharge[j + 12 - 1]));
    charges.Put(15, j + 1, CellValue::Number(1));
  }
  charges.Put(19, 5, CellValue::Number(0));
  charges.Put(20, 5, CellValue::Number(1));
}

void WriteXlsx(const std::filesystem::path& path, workbook::MemoryWorkbook& workbook) {
  lxw_workbook* book = workbook_new(path.string().c_str());
  if (book == nullptr) throw std::runtime_error("cannot create " + path.string());
  for (int s = 1; s <= workbook.WorksheetCount(); ++s) {
    auto& sheet = workbook.Sheet(s);
    lxw_worksheet* out = workbook_add_worksheet(book, sheet.Name().c_str());
    for (const auto& [cell, value] : sheet.Cells()) {
      const auto row = static_cast<lxw_row_t>(cell.first - 1);
      const auto col = static_cast<lxw_col_t>(cell.second - 1);
      if (value.kind == workbook::CellValue::Kind::Number) {
        worksheet_write_number(out, row, col, value.number, nullptr);
      } else if (value.kind == workbook::CellValue::Kind::Text) {
        worksheet_write_string(out, row, col, value.text.c_str(), nullptr);
      }
    }
  }
  if (workbook_close(book) != LXW_NO_ERROR) throw std::runtime_error("cannot write " + path.string());
}

std::filesystem::path TestFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(VONTRALEK_TEST_TMP) / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

} // namespace vontralek::testing
