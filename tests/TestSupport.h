#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "model/ModelState.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek::testing {

using workbook::CellValue;
using Cell = std::pair<int, int>; // row, column
using Cells = std::map<Cell, CellValue>;
inline CellValue Num(double v) { return CellValue::Number(v); }
inline CellValue Text(const char* t) { return CellValue::Text(t); }

// The Main-sheet results of a state, from the report's layout table: row 9 C:N
// coefficients in input-row order (C:I species 3 to 9, J:N species 1, 2, 10,
// 11, 12), row 5 J:N totals of those five; free cations E15:H15, free ligands
// D16:D21, complex 4k + c at row 16 + k, column D + c (mmol/L); P4:P5 the
// carbonate variable the pair did not give, Q5 weighted sum, R5 ionic strength.
inline Cells MainCells(const ModelState& s) {
  const auto& sp = s.SpeciesTable;
  const bool a = s.InputPair == CarbonatePair::AlkalinityPH;
  Cells e{{{5, 17}, Num(s.AuxTable[11].WeightedSum)}, {{5, 18}, Num(s.IonicStrength * 1000)}};
  e[{4, 16}] = Text(a ? "pCO2" : "pH");
  e[{5, 16}] = Num(a ? s.PCO2 : s.PH);
  const int column[13] = {0, 10, 11, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14}, ligand[6] = {2, 7, 8, 9, 10, 11};
  for (int i = 1; i <= 12; ++i) e[{9, column[i]}] = Num(sp[i].Gamma);
  for (int i : {1, 2, 10, 11, 12}) e[{5, column[i]}] = Num(sp[i].TotalConc * 1000);
  for (int c = 1; c <= 4; ++c) e[{15, 4 + c}] = Num(sp[2 + c].FreeConc * 1000);
  for (int k = 0; k < 6; ++k) {
    e[{16 + k, 4}] = Num(sp[ligand[k]].FreeConc * 1000);
    for (int c = 1; c <= 4; ++c) e[{16 + k, 4 + c}] = Num(s.ComplexTable[4 * k + c].FreeConc * 1000);
  }
  return e;
}

// The 69 Batch-sheet results of a state on its row: K weighted sum, L pCO2,
// M and N ionic strengths mmol/L, O and P log IAP of CaSO4 and CaCO3, Q and R
// the SARs, S pH, T:AE coefficients, AF:AQ log activities, AR:BC free and
// BD:CA complexes in mmol/L; an undefined logarithm reads "nd".
inline Cells BatchCells(const ModelState& s, int row) {
  const auto log = [](bool defined, double v) { return defined ? Num(v) : Text("nd"); };
  Cells e{{{row, 11}, Num(s.AuxTable[11].WeightedSum)}, {{row, 12}, Num(s.PCO2)}};
  e[{row, 13}] = Num(s.IonicStrength * 1000);
  e[{row, 14}] = Num(s.InitialIonicStrength * 1000);
  e[{row, 15}] = log(s.LogIapCaSO4Defined, s.LogIapCaSO4);
  e[{row, 16}] = log(s.LogIapCaCO3Defined, s.LogIapCaCO3);
  e[{row, 17}] = Num(s.Sar);
  e[{row, 18}] = Num(s.SarActivity);
  e[{row, 19}] = Num(s.PH);
  for (int i = 1; i <= 12; ++i) {
    e[{row, 19 + i}] = Num(s.SpeciesTable[i].Gamma);
    e[{row, 31 + i}] = log(s.SpeciesTable[i].LogActivityDefined, s.SpeciesTable[i].LogActivity);
    e[{row, 43 + i}] = Num(s.SpeciesTable[i].FreeConc * 1000);
  }
  for (int n = 1; n <= 24; ++n) e[{row, 55 + n}] = Num(s.ComplexTable[n].FreeConc * 1000);
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

// A sample row: the carbonate pair (pH or pCO2 and alkalinity meq/L, or CO3 2-
// and HCO3- mmol/L), then Na, K, Ca, Mg, Cl, NO3, SO4 mmol/L. From
// data/example-waters.csv: Sierra Nevada spring, Madison recharge water, seawater.
using Analysis = std::array<double, 9>;
inline const Analysis kSpring{6.8, 0.895, 0.259, 0.04, 0.26, 0.071, 0.03, 0, 0.025};
inline const Analysis kRecharge{7.55, 4.07674, 0.0199395, 0.0199395, 1.19637, 1.00695, 0.0199395, 0, 0.159516};
inline const Analysis kSeawater{8.22, 2.37541, 479.15, 10.4425, 10.5241, 54.372, 558.433, 0.004785, 28.8817};
// The same ions with another carbonate pair.
inline Analysis With(Analysis a, double first, double second) { return a[0] = first, a[1] = second, a; }

inline void PutAnalysis(workbook::MemoryWorksheet& sheet, int row, int column, const Analysis& a) {
  for (double v : a) sheet.Put(row, column++, Num(v));
}

// Worksheets 3 and 4 with the shipped parameters (log K, charges, weights, E19,
// E20): the "A1 input = value" lines of data/workbook/3-constants.txt and 4-charges.txt.
inline void FillDefaultParameters(MemoryWorkbook& wb) {
  for (const auto& [sheet, file, cells] : {std::tuple{3, "3-constants.txt", 30}, {4, "4-charges.txt", 72}}) {
    std::ifstream in(std::string(VONTRALEK_DATA_DIR) + "/workbook/" + file);
    int read = 0;
    for (std::string line, address, kind, equals; std::getline(in, line);) {
      double value = 0;
      if (std::istringstream(line) >> address >> kind >> equals >> value && kind == "input") {
        wb.Sheet(sheet).Put(std::stoi(address.substr(1)), address[0] - 'A' + 1, Num(value)); // columns B to M
        ++read;
      }
    }
    if (read != cells) throw std::runtime_error(std::string(file) + ": the parameter cells were not all found");
  }
}

} // namespace vontralek::testing
