#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "model/ModelState.h"
#include "run/TableOptions.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek::testing {

using workbook::CellValue;
using Cell = std::pair<int, int>; // row, column
using Cells = std::map<Cell, CellValue>;
inline CellValue Num(double v) { return CellValue::Number(v); }
inline CellValue Text(const char* t) { return CellValue::Text(t); }

// "AJ4" -> row 4, column 36: the addresses below are literal A1 cells of the documentation, not the program's.
inline Cell At(const std::string& a1) {
  std::size_t split = 0;
  int column = 0;
  for (; split < a1.size() && a1[split] >= 'A' && a1[split] <= 'Z'; ++split) column = column * 26 + a1[split] - 'A' + 1;
  return {std::stoi(a1.substr(split)), column};
}

// The Main-sheet results of a state: row 9 the coefficients, row 5 the totals of species 1, 2, 10, 11, 12; the complex
// matrix (free cations E15:H15, free OH- and ligands D16:D21, complexes E16:H21, mmol/L); P4:P5 the carbonate variable
// the pair did not give, Q5 weighted sum, R5 ionic strength.
inline Cells MainCells(const ModelState& s) {
  const auto& sp = s.SpeciesTable;
  const bool a = s.InputPair == CarbonatePair::AlkalinityPH;
  Cells e{{At("Q5"), Num(s.AuxTable[WeightedSumRecord].WeightedSum)}, {At("R5"), Num(s.IonicStrength * 1000)}};
  e[At("P4")] = Text(a ? "pCO2" : "pH");
  e[At("P5")] = a ? Num(s.PCO2) : s.PHDefined ? Num(s.PH) : Text("nd");
  const char* gamma[] = {"J9", "K9", "C9", "D9", "E9", "F9", "G9", "H9", "I9", "L9", "M9", "N9"}; // species 1..12
  for (int i = 1; i <= 12; ++i) e[At(gamma[i - 1])] = Num(sp[i].Gamma);
  for (const auto& [i, cell] : {std::pair{1, "J5"}, {2, "K5"}, {10, "L5"}, {11, "M5"}, {12, "N5"}})
    e[At(cell)] = Num(sp[i].TotalConc * 1000);
  const char* free[] = {"D16", "E15", "F15", "G15", "H15", "D17", "D18", "D19", "D20", "D21"}; // species 2..11
  for (int i = 2; i <= 11; ++i) e[At(free[i - 2])] = Num(sp[i].FreeConc * 1000);
  // Complexes 1..24: OH- with cations 1..4 in E16:H16, then ligands 1..5 on rows 17..21 (E is column 5).
  for (int n = 1; n <= 24; ++n) e[{16 + (n - 1) / 4, 5 + (n - 1) % 4}] = Num(s.ComplexTable[n].FreeConc * 1000);
  return e;
}

// The 69 Batch-sheet results of a state on its row: K weighted sum, L pCO2, M and N ionic strengths mmol/L, O and P log
// IAP of CaSO4 and CaCO3, Q and R the SARs, S pH, T:AE coefficients, AF:AQ log activities, AR:BC free and BD:CA
// complexes in mmol/L; an undefined logarithm or pH reads "nd".
inline Cells BatchCells(const ModelState& s, int row) {
  const auto log = [](bool defined, double v) { return defined ? Num(v) : Text("nd"); };
  const auto cell = [row](const std::string& column) { return At(column + std::to_string(row)); };
  Cells e{{cell("K"), Num(s.AuxTable[WeightedSumRecord].WeightedSum)}, {cell("L"), Num(s.PCO2)}};
  e[cell("M")] = Num(s.IonicStrength * 1000);
  e[cell("N")] = Num(s.InitialIonicStrength * 1000);
  e[cell("O")] = log(s.LogIapCaSO4Defined, s.LogIapCaSO4);
  e[cell("P")] = log(s.LogIapCaCO3Defined, s.LogIapCaCO3);
  e[cell("Q")] = Num(s.Sar);
  e[cell("R")] = Num(s.SarActivity);
  e[cell("S")] = log(s.PHDefined, s.PH);
  for (int i = 1; i <= 12; ++i) { // T is column 20, AF 32, AR 44
    e[{row, 19 + i}] = Num(s.SpeciesTable[i].Gamma);
    e[{row, 31 + i}] = log(s.SpeciesTable[i].LogActivityDefined, s.SpeciesTable[i].LogActivity);
    e[{row, 43 + i}] = Num(s.SpeciesTable[i].FreeConc * 1000);
  }
  for (int n = 1; n <= 24; ++n) e[{row, 55 + n}] = Num(s.ComplexTable[n].FreeConc * 1000); // BD (56) to CA (79)
  return e;
}

inline void ExpectCells(const workbook::Worksheet& sheet, const Cells& want) {
  for (const auto& [cell, v] : want) {
    const CellValue got = sheet.Value(cell.first, cell.second);
    EXPECT_EQ(std::tie(got.kind, got.number, got.text), std::tie(v.kind, v.number, v.text))
        << sheet.Name() << "!" << workbook::CellAddress(cell.first, cell.second);
  }
}

// The wanted cells hold their values and are the only ones written, each once.
inline void ExpectWrittenExactly(const workbook::MemoryWorksheet& sheet, const Cells& want) {
  ExpectCells(sheet, want);
  std::vector<Cell> written = sheet.Writes(), wanted;
  std::sort(written.begin(), written.end());
  for (const auto& entry : want) wanted.push_back(entry.first);
  EXPECT_EQ(written, wanted) << sheet.Name();
}

using workbook::MemoryWorkbook;

// A sample row: the carbonate pair (pH or pCO2 and alkalinity meq/L, or CO3 2- and HCO3- mmol/L), then Na, K, Ca, Mg,
// Cl, NO3, SO4 mmol/L. From data/example-waters.csv: Sierra Nevada spring, Madison recharge water, seawater.
using Analysis = std::array<double, 9>;
inline const Analysis kSpring{6.8, 0.895, 0.259, 0.04, 0.26, 0.071, 0.03, 0, 0.025};
inline const Analysis kRecharge{7.55, 4.07674, 0.0199395, 0.0199395, 1.19637, 1.00695, 0.0199395, 0, 0.159516};
inline const Analysis kSeawater{8.22, 2.37541, 479.15, 10.4425, 10.5241, 54.372, 558.433, 0.004785, 28.8817};
// The same ions with another carbonate pair.
inline Analysis With(Analysis a, double first, double second) { return a[0] = first, a[1] = second, a; }

inline void PutAnalysis(workbook::MemoryWorksheet& sheet, int row, int column, const Analysis& a) {
  for (double v : a) sheet.Put(row, column++, Num(v));
}

// Worksheets 3 and 4 with the shipped parameters (log K, charges, weights, E19, E20): the "A1 input = value" lines of
// data/workbook/3-constants.txt and 4-charges.txt, and worksheet 3's temperature data (rows 55 on) with its title.
void FillDefaultParameters(MemoryWorkbook& wb);

// The shipped parameters and these waters as Batch samples from row 2, numbered in column A.
inline MemoryWorkbook BatchBook(const std::vector<Analysis>& waters) {
  MemoryWorkbook wb;
  FillDefaultParameters(wb);
  for (int k = 1; k <= static_cast<int>(waters.size()); ++k) {
    wb.Sheet(2).Put(k + 1, 1, Num(k));
    PutAnalysis(wb.Sheet(2), k + 1, 2, waters[static_cast<std::size_t>(k - 1)]);
  }
  return wb;
}

// A cell by its A1 address; NumberIn expects a number there.
inline void Put(workbook::MemoryWorksheet& s, const std::string& a1, CellValue v) {
  s.Put(At(a1).first, At(a1).second, std::move(v));
}
inline CellValue Get(const workbook::Worksheet& s, const std::string& a1) {
  return s.Value(At(a1).first, At(a1).second);
}
inline double NumberIn(const workbook::Worksheet& s, const std::string& a1) {
  const CellValue v = Get(s, a1);
  EXPECT_EQ(v.kind, CellValue::Kind::Number) << a1 << ": " << v.text;
  return v.number;
}

// A workbook run over the samples of one sheet: the error's message, or "" when there was none.
std::string RunOn(MemoryWorkbook& wb, DataSheet mode, CarbonatePair pair = CarbonatePair::AlkalinityPH);

// The table mode over a CSV text with the compiled-in parameters: the output text.
std::string RunTableText(const std::string& csv, TableOptions options = {});

// A CSV text, lines starting with # left out: the header and the rows, or the rows by column name.
using Fields = std::vector<std::string>;
std::vector<Fields> CsvFields(const std::string& text);
std::vector<std::map<std::string, std::string>> CsvRecords(const std::string& text);

// A file's bytes.
std::string ReadFile(const std::filesystem::path& path);

#ifdef VONTRALEK_TEST_TMP
// An empty folder of that name among the tests' temporary files.
inline std::filesystem::path EmptyFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(VONTRALEK_TEST_TMP) / name;
  return std::filesystem::remove_all(folder), std::filesystem::create_directories(folder), folder;
}
#endif

// Every cell of the in-memory workbook written to an .xlsx file (libxlsxwriter,
// row by row, so that large workbooks stream). Throws std::runtime_error.
void WriteXlsx(const std::string& path, MemoryWorkbook& wb);

} // namespace vontralek::testing
