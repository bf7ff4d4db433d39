#include "TestSupport.h"

#include <xlsxwriter.h>

#include "run/Run.h"
#include "run/TableRun.h"
#include "table/Csv.h"

#include <fstream>
#include <iterator>
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
        } else if (kind == "input" || address == "A55" || address == "A89") { // the titles of the blocks
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

std::string RunOn(MemoryWorkbook& wb, DataSheet mode, CarbonatePair pair) {
  ModelState s;
  std::tie(s.SheetMode, s.InputPair) = std::tuple(mode, pair);
  try {
    RunCalculation(s, wb, nullptr, nullptr);
  } catch (const RunError& e) {
    return e.what();
  }
  return "";
}

std::string RunTableText(const std::string& csv, TableOptions options) {
  static const TableParameters shipped = LoadTableParameters(std::nullopt);
  std::istringstream in(csv);
  std::ostringstream out;
  RunTable(in, "in.csv", out, options, shipped);
  return out.str();
}

std::vector<Fields> CsvFields(const std::string& text) {
  std::istringstream raw(text);
  std::stringstream kept;
  for (std::string line; std::getline(raw, line);)
    if (!line.starts_with("#")) kept << line << '\n';
  table::CsvReader reader(kept, "csv");
  std::vector<Fields> rows{reader.Header()};
  for (Fields fields; reader.Next(fields);) rows.push_back(fields);
  return rows;
}

std::vector<std::map<std::string, std::string>> CsvRecords(const std::string& text) {
  const std::vector<Fields> rows = CsvFields(text);
  std::vector<std::map<std::string, std::string>> records;
  for (std::size_t r = 1; r < rows.size(); ++r)
    for (std::size_t i = 0; i < rows[r].size(); ++i) records.resize(r), records.back()[rows[0][i]] = rows[r][i];
  return records;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace vontralek::testing
