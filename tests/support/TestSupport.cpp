#include "TestSupport.h"

#include <xlsxwriter.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vontralek::testing {

void FillDefaultParameters(MemoryWorkbook& wb) {
  for (const auto& [sheet, file, cells] : {std::tuple{3, "3-constants.txt", 30}, {4, "4-charges.txt", 83}}) {
    std::ifstream in(std::string(VONTRALEK_DATA_DIR) + "/workbook/" + file);
    int read = 0;
    for (std::string line, address, kind, equals; std::getline(in, line);) {
      double value = 0;
      std::istringstream fields(line);
      if (!(fields >> address >> kind >> equals) || equals != "=") continue;
      const Cell cell = At(address);
      if (sheet == 3 && cell.first >= 55) { // the temperature data: title, forms and coefficients
        std::string text = line.substr(line.find(" = ") + 3);
        if (kind == "input" && std::istringstream(text) >> value) {
          wb.Sheet(3).Put(cell.first, cell.second, Num(value));
        } else if (kind == "input" || address == "A55") {
          wb.Sheet(3).Put(cell.first, cell.second, CellValue::Text(text));
        }
      } else if (fields >> value && kind == "input") {
        wb.Sheet(sheet).Put(cell.first, cell.second, Num(value));
        ++read;
      }
    }
    if (read != cells) throw std::runtime_error(std::string(file) + ": the parameter cells were not all found");
  }
}

Table<TemperatureRecord, 30> ShippedTemperatureTable() {
  std::ifstream in(std::string(VONTRALEK_DATA_DIR) + "/logk-temperature.csv");
  Table<TemperatureRecord, 30> table;
  std::string line;
  std::getline(in, line); // row,name,logK25,form,A1,...,A6,delta_h_kJ_mol,source
  for (int read = 0; read < 30 && std::getline(in, line); ++read) {
    std::vector<std::string> f; // the source, last, may hold quoted commas: not needed
    for (std::size_t start = 0, comma = 0; f.size() < 11; start = comma + 1) {
      comma = line.find(',', start);
      f.push_back(line.substr(start, comma - start));
    }
    TemperatureRecord& r = table[std::stoi(f[0])];
    r.Form = f[3] == "analytic"   ? TemperatureForm::Analytic
             : f[3] == "vanthoff" ? TemperatureForm::VantHoff
                                  : TemperatureForm::None;
    for (int i = 1; i <= 6; ++i) r.A[static_cast<std::size_t>(i)] = f[3 + i].empty() ? 0.0 : std::stod(f[3 + i]);
    r.DeltaH = f[10].empty() ? 0.0 : std::stod(f[10]);
  }
  return table;
}

void WriteXlsx(const std::string& path, MemoryWorkbook& wb) {
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE; // the cells come in row order
  lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
  if (book == nullptr) throw std::runtime_error("cannot create " + path);
  for (int s = 1; s <= wb.WorksheetCount(); ++s) {
    lxw_worksheet* out = workbook_add_worksheet(book, wb.Sheet(s).Name().c_str());
    for (const auto& [cell, v] : wb.Sheet(s).Cells()) {
      const auto row = static_cast<lxw_row_t>(cell.first - 1);
      const auto column = static_cast<lxw_col_t>(cell.second - 1);
      if (v.kind == CellValue::Kind::Number) worksheet_write_number(out, row, column, v.number, nullptr);
      if (v.kind == CellValue::Kind::Text) worksheet_write_string(out, row, column, v.text.c_str(), nullptr);
    }
  }
  if (workbook_close(book) != LXW_NO_ERROR) throw std::runtime_error("cannot write " + path);
}

} // namespace vontralek::testing
