// The workbook shipped with the program, as generated from data/workbook/ and
// read back by an independent reader (openpyxl, through the cell listing the
// build writes next to this test): its parameters load into the model as the
// data files give them, its samples are those of data/example-waters.csv, and
// no caption stands in a cell the program reads or writes.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/ParameterLoading.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek {
namespace {

using workbook::CellValue;
using workbook::MemoryWorkbook;

using Cell = std::pair<int, int>; // (row, column), 1-based

Cell ParseA1(const std::string& a1) {
  int column = 0;
  std::size_t i = 0;
  for (; i < a1.size() && a1[i] >= 'A' && a1[i] <= 'Z'; ++i) column = column * 26 + (a1[i] - 'A' + 1);
  return {std::stoi(a1.substr(i)), column};
}

std::string ColumnName(int column) {
  std::string s;
  for (; column > 0; column = (column - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (column - 1) % 26));
  return s;
}

std::string A1(Cell c) { return ColumnName(c.second) + std::to_string(c.first); }

// Every cell of a rectangle such as "J13:M18".
std::vector<Cell> Range(const std::string& range) {
  const auto colon = range.find(':');
  const Cell first = ParseA1(range.substr(0, colon));
  const Cell last = colon == std::string::npos ? first : ParseA1(range.substr(colon + 1));
  std::vector<Cell> cells;
  for (int r = first.first; r <= last.first; ++r) {
    for (int c = first.second; c <= last.second; ++c) cells.push_back({r, c});
  }
  return cells;
}

double ToDouble(const std::string& text) {
  double v = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) throw std::runtime_error("not a number: " + text);
  return v;
}

struct DumpedCell {
  bool isNumber = false;
  double number = 0.0;
  std::string markup; // text with _{...} and ^{...} runs
  std::string Plain() const {
    std::string out;
    for (std::size_t i = 0; i < markup.size(); ++i) {
      if ((markup[i] == '_' || markup[i] == '^') && i + 1 < markup.size() && markup[i + 1] == '{') {
        ++i;
      } else if (markup[i] != '}') {
        out += markup[i];
      }
    }
    return out;
  }
};

struct ShippedWorkbook {
  std::vector<std::string> sheetNames;
  std::map<int, std::map<Cell, DumpedCell>> sheets;

  const DumpedCell* Find(int sheet, Cell cell) const {
    const auto s = sheets.find(sheet);
    if (s == sheets.end()) return nullptr;
    const auto c = s->second.find(cell);
    return c == s->second.end() ? nullptr : &c->second;
  }
  const DumpedCell* Find(int sheet, const std::string& a1) const { return Find(sheet, ParseA1(a1)); }
  bool IsText(int sheet, const std::string& a1) const {
    const DumpedCell* c = Find(sheet, a1);
    return c && !c->isNumber && !c->markup.empty();
  }

  // The same cells in the in-memory workbook the loaders read.
  void Fill(MemoryWorkbook& book) const {
    for (const auto& [sheet, cells] : sheets) {
      for (const auto& [at, cell] : cells) {
        book.Sheet(sheet).Put(at.first, at.second,
                              cell.isNumber ? CellValue::Number(cell.number) : CellValue::Text(cell.Plain()));
      }
    }
  }
};

std::string Unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[++i];
      out += n == 't' ? '\t' : n == 'n' ? '\n' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

const ShippedWorkbook& Shipped() {
  static const ShippedWorkbook book = [] {
    ShippedWorkbook b;
    std::ifstream in(VONTRALEK_SHIPPED_CELLS);
    if (!in) throw std::runtime_error("cell listing missing: " VONTRALEK_SHIPPED_CELLS);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      std::vector<std::string> f;
      std::stringstream ss(line);
      for (std::string part; std::getline(ss, part, '\t');) f.push_back(part);
      if (f.size() == 4) f.push_back(""); // an empty text
      if (f.size() != 5) throw std::runtime_error("bad listing line: " + line);
      const int sheet = std::stoi(f[0]);
      if (static_cast<int>(b.sheetNames.size()) < sheet) b.sheetNames.resize(static_cast<std::size_t>(sheet));
      b.sheetNames[static_cast<std::size_t>(sheet - 1)] = f[1];
      DumpedCell cell;
      cell.isNumber = f[3] == "n";
      if (cell.isNumber) {
        cell.number = ToDouble(f[4]);
      } else {
        cell.markup = Unescape(f[4]);
      }
      b.sheets[sheet][ParseA1(f[2])] = cell;
    }
    return b;
  }();
  return book;
}

// A minimal CSV reader: commas, fields in double quotes with "" for a quote.
std::vector<std::map<std::string, std::string>> ReadCsv(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  auto split = [](const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char ch = line[i];
      if (quoted && ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (ch == '"') {
        quoted = !quoted;
      } else if (ch == ',' && !quoted) {
        fields.emplace_back();
      } else if (ch != '\r') {
        fields.back() += ch;
      }
    }
    return fields;
  };
  std::string line;
  std::getline(in, line);
  const auto header = split(line);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const auto fields = split(line);
    if (fields.size() != header.size()) throw std::runtime_error("bad CSV line in " + path + ": " + line);
    std::map<std::string, std::string> row;
    for (std::size_t i = 0; i < header.size(); ++i) row[header[i]] = fields[i];
    rows.push_back(row);
  }
  return rows;
}

constexpr int kMain = 1, kBatch = 2, kConstants = 3, kCharges = 4;

// Signed charge numbers from the formulas of the eleven species, in the order
// of the charge sheet: H+, OH-, Na+, K+, Ca2+, Mg2+, Cl-, NO3-, SO4 2-, HCO3-,
// CO3 2-.
const double kSpeciesCharge[11] = {+1, -1, +1, +1, +2, +2, -1, -1, -2, -1, -2};

TEST(ShippedWorkbook, HasTheFourWorksheetsInOrder) {
  EXPECT_EQ(Shipped().sheetNames, (std::vector<std::string>{"Main", "Batch", "Constants", "Charges"}));
}

TEST(ShippedWorkbook, LoadsTheLogKValuesOfTheDataFile) {
  MemoryWorkbook book;
  Shipped().Fill(book);
  ModelState state;
  LoadParameterTables(state, book);
  const auto rows = ReadCsv(VONTRALEK_DATA_DIR "/default-logk.csv");
  ASSERT_EQ(rows.size(), 30u);
  for (const auto& row : rows) {
    const int n = std::stoi(row.at("row"));
    EXPECT_EQ(state.ConstantTable[n].LogK, ToDouble(row.at("logK"))) << "constant " << n << ": " << row.at("reaction");
  }
}

TEST(ShippedWorkbook, ChargesFollowTheFormulasAndTheSumIsTheChargeBalance) {
  MemoryWorkbook book;
  Shipped().Fill(book);
  ModelState state;
  LoadParameterTables(state, book);
  LoadWeightedSumParameters(state, book);
  for (int i = 1; i <= 11; ++i) {
    EXPECT_EQ(state.SpeciesTable[i].Charge, kSpeciesCharge[i - 1]) << "species " << i;
    EXPECT_EQ(state.SpeciesTable[i].SumWeight, 1.0) << "species " << i;
  }
  // A complex carries the charge of its cation plus that of its ligand:
  // complexes 1-4 are cations 1-4 (species 3-6) with OH- (species 2), then
  // each ligand (species 7-11) with the four cations in turn.
  const int ligands[6] = {2, 7, 8, 9, 10, 11};
  for (int h = 0; h < 6; ++h) {
    for (int c = 1; c <= 4; ++c) {
      const int m = 4 * h + c;
      const double charge = kSpeciesCharge[c + 2 - 1] + kSpeciesCharge[ligands[h] - 1];
      EXPECT_EQ(state.ComplexTable[m].Charge, charge) << "complex " << m;
      EXPECT_EQ(state.ComplexTable[m].SumWeight, 1.0) << "complex " << m;
    }
  }
  // Start 0 and scale 1: the sum is Σ z·c in meq/L, cations minus anions.
  EXPECT_EQ(state.AuxTable[11].WeightedSum, 0.0);
  EXPECT_EQ(state.AuxTable[11].SumScale, 1.0);
}

// The cells the program reads and writes, from the layout of each worksheet.
struct ProgramCells {
  std::set<Cell> read, written;
  void Read(const std::string& range) {
    for (Cell c : Range(range)) read.insert(c);
  }
  void Write(const std::string& range) {
    for (Cell c : Range(range)) written.insert(c);
  }
};

ProgramCells MainCells() {
  ProgramCells p;
  p.Read("A5:I5");
  for (const char* r : {"A4:B4", "P4", "J5:N5", "P5:R5", "C9:N9", "E15:H15", "D16:H21"}) p.Write(r);
  return p;
}
ProgramCells ConstantCells() {
  ProgramCells p;
  p.Read("B5:G5");
  p.Read("C13:F18");
  p.Write("B6:G6");
  p.Write("J13:M18");
  return p;
}
ProgramCells ChargeCells() {
  ProgramCells p;
  for (const char* r : {"B4:L4", "B6:L6", "B10:M11", "B14:M15", "E19", "E20"}) p.Read(r);
  return p;
}

TEST(ShippedWorkbook, CellsTheProgramWritesAreEmpty) {
  const auto& wb = Shipped();
  for (const auto& [sheet, cells] : {std::pair{kMain, MainCells()}, {kConstants, ConstantCells()}}) {
    for (Cell c : cells.written) EXPECT_EQ(wb.Find(sheet, c), nullptr) << "worksheet " << sheet << " " << A1(c);
  }
  // D15, the corner of the complex matrix, is never written: keep it clear.
  EXPECT_EQ(wb.Find(kMain, "D15"), nullptr);
  EXPECT_EQ(wb.Find(kBatch, "B1"), nullptr);
  EXPECT_EQ(wb.Find(kBatch, "C1"), nullptr);
}

TEST(ShippedWorkbook, CellsTheProgramReadsHoldNumbers) {
  const auto& wb = Shipped();
  for (const auto& [sheet, cells] :
       {std::pair{kMain, MainCells()}, {kConstants, ConstantCells()}, {kCharges, ChargeCells()}}) {
    for (Cell c : cells.read) {
      const auto* cell = wb.Find(sheet, c);
      ASSERT_NE(cell, nullptr) << "worksheet " << sheet << " " << A1(c) << " is empty";
      EXPECT_TRUE(cell->isNumber) << "worksheet " << sheet << " " << A1(c) << " holds \"" << cell->markup << "\"";
    }
  }
  // Nothing beside the parameter cells: the cells just past each block.
  for (const char* a1 : {"M4", "M6", "N10", "N11", "N14", "N15", "A4", "A6", "A10", "A11", "A14", "A15"}) {
    const auto* cell = wb.Find(kCharges, a1);
    EXPECT_TRUE(cell == nullptr || !cell->isNumber) << a1 << " holds a number the program never reads";
  }
}

TEST(ShippedWorkbook, BatchRowsHoldOnlyMarkersAndInputs) {
  const auto& wb = Shipped();
  // The run scans column A from row 2 to the first empty cell.
  int last = 1;
  while (wb.Find(kBatch, Cell{last + 1, 1})) ++last;
  ASSERT_GE(last, 3) << "the Batch sheet needs several samples";
  for (int r = 2; r <= last; ++r) {
    EXPECT_TRUE(wb.IsText(kBatch, A1(Cell{r, 1}))) << "sample name in A" << r;
    for (int c = 2; c <= 10; ++c) {
      const auto* cell = wb.Find(kBatch, Cell{r, c});
      ASSERT_NE(cell, nullptr) << A1({r, c}) << " is empty";
      const bool nd = c >= 4 && !cell->isNumber && cell->markup == "nd";
      EXPECT_TRUE(cell->isNumber || nd) << A1({r, c}) << " holds \"" << cell->markup << "\"";
    }
    for (int c = 11; c <= 79; ++c) EXPECT_EQ(wb.Find(kBatch, Cell{r, c}), nullptr) << A1({r, c}) << " is written";
  }
}

TEST(ShippedWorkbook, SamplesAreTheExampleWaters) {
  const auto& wb = Shipped();
  const auto waters = ReadCsv(VONTRALEK_DATA_DIR "/example-waters.csv");
  const char* const fields[9] = {"pH", "alk_meq_L", "Na", "K", "Ca", "Mg", "Cl", "NO3", "SO4"};
  auto expectRow = [&](int sheet, int row, int firstColumn, const std::map<std::string, std::string>& water) {
    for (int i = 0; i < 9; ++i) {
      const Cell at{row, firstColumn + i};
      const auto* cell = wb.Find(sheet, at);
      ASSERT_NE(cell, nullptr) << A1(at);
      const double expected = ToDouble(water.at(fields[i]));
      if (cell->isNumber) {
        EXPECT_EQ(cell->number, expected) << "worksheet " << sheet << " " << A1(at) << " " << water.at("id");
      } else {
        // "nd" (not determined) is read as 0: only where the data has none.
        EXPECT_EQ(cell->markup, "nd") << A1(at);
        EXPECT_EQ(expected, 0.0) << A1(at) << " is nd but the data give " << expected;
      }
    }
  };
  // The Main sheet holds the seawater sample in row 5.
  expectRow(kMain, 5, 1, waters.at(0));
  // The Batch sheet holds every sample of the file, in its order.
  int nd = 0;
  for (std::size_t k = 0; k < waters.size(); ++k) {
    const int row = static_cast<int>(k) + 2;
    expectRow(kBatch, row, 2, waters[k]);
    const auto* marker = wb.Find(kBatch, Cell{row, 1});
    ASSERT_NE(marker, nullptr) << "no sample in row " << row;
    EXPECT_NE(marker->markup.find(waters[k].at("id")), std::string::npos) << marker->markup;
    for (int c = 4; c <= 10; ++c) {
      const auto* cell = wb.Find(kBatch, Cell{row, c});
      nd += cell && !cell->isNumber;
    }
  }
  EXPECT_EQ(wb.Find(kBatch, Cell{static_cast<int>(waters.size()) + 2, 1}), nullptr)
      << "more samples than the data file";
  EXPECT_EQ(nd, 1) << "one batch entry shows an ion that was not determined";
}

TEST(ShippedWorkbook, EveryInputAndResultHasACaption) {
  const auto& wb = Shipped();
  auto expectText = [&](int sheet, const std::string& range) {
    for (Cell c : Range(range)) EXPECT_TRUE(wb.IsText(sheet, A1(c))) << "worksheet " << sheet << " " << A1(c);
  };
  // Main: species above row 5 and row 9, the inputs written over by the
  // program's headings captioned in row 3, the matrix's headers.
  for (const char* r : {"A3:B3", "C4:N4", "Q4:R4", "C8:N8", "A9", "E14:H14", "C15:C21"}) expectText(kMain, r);
  // Batch: the sample column, the ions and every result column.
  expectText(kBatch, "A1");
  expectText(kBatch, "D1:CA1");
  std::set<std::string> headings;
  for (Cell c : Range("D1:CA1")) headings.insert(wb.Find(kBatch, c)->markup);
  EXPECT_EQ(headings.size(), 76u) << "two result columns share a heading";
  // Constants: each constant of row 5, the matrix's cations and ligands, and
  // the conditional constants beside it.
  for (const char* r : {"B4:G4", "A5:A6", "C12:F12", "B13:B18", "J12:M12", "I13:I18"}) expectText(kConstants, r);
  // Charges: names above every charge, row labels, the sum's parameters.
  for (const char* r : {"B3:L3", "B9:M9", "B13:M13", "A4", "A6", "A10:A11", "A14:A15", "D19:D20"}) {
    expectText(kCharges, r);
  }
}

TEST(ShippedWorkbook, SpeciesNamesCarryTheirSubAndSuperscripts) {
  const auto& wb = Shipped();
  const std::vector<std::string> species = {"H^{+}",       "OH^{-}",      "Na^{+}",     "K^{+}",
                                            "Ca^{2+}",     "Mg^{2+}",     "Cl^{-}",     "NO_{3}^{-}",
                                            "SO_{4}^{2-}", "HCO_{3}^{-}", "CO_{3}^{2-}"};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(wb.Find(kCharges, Cell{3, i + 2})->markup, species[static_cast<std::size_t>(i)]) << A1({3, i + 2});
  }
  // Cations 1..4 over the matrix, OH- and ligands 1..5 down its side.
  const std::vector<int> cations = {2, 3, 4, 5}, ligands = {1, 6, 7, 8, 9, 10};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(wb.Find(kConstants, Cell{12, c + 3})->markup, species[static_cast<std::size_t>(cations[c])]);
    EXPECT_EQ(wb.Find(kMain, Cell{14, c + 5})->markup, species[static_cast<std::size_t>(cations[c])]);
  }
  for (int h = 0; h < 6; ++h) {
    EXPECT_EQ(wb.Find(kConstants, Cell{13 + h, 2})->markup, species[static_cast<std::size_t>(ligands[h])]);
    EXPECT_EQ(wb.Find(kMain, Cell{16 + h, 3})->markup, species[static_cast<std::size_t>(ligands[h])]);
  }
  EXPECT_EQ(wb.Find(kMain, "I4")->markup, "[SO_{4}^{2-}]/mmol/L");
  EXPECT_EQ(wb.Find(kBatch, "L1")->markup, "pCO_{2}/atm");
  // The Batch sheet says what "nd" means.
  bool explained = false;
  for (const auto& [at, cell] : wb.sheets.at(kBatch)) {
    explained |= !cell.isNumber && cell.markup.find("nd") != std::string::npos &&
                 cell.markup.find("not determined") != std::string::npos;
  }
  EXPECT_TRUE(explained);
}

TEST(ShippedWorkbook, TheProjectsReaderSeesTheSameCellsAndParameters) {
  // The program opens the file with its own reader: it must find exactly the
  // cells the independent listing shows, and load the same parameters.
  const std::filesystem::path dir = std::filesystem::path(VONTRALEK_TEST_TMP) / "shipped-workbook";
  std::filesystem::create_directories(dir);
  const std::filesystem::path copy = dir / "VONTRALEK.xlsx";
  std::filesystem::copy_file(VONTRALEK_SHIPPED_WORKBOOK_FILE, copy, std::filesystem::copy_options::overwrite_existing);
  const auto book = workbook::OpenWorkbook(copy);
  const auto& listed = Shipped();
  ASSERT_EQ(book->WorksheetCount(), 4);
  for (int sheet = 1; sheet <= 4; ++sheet) {
    const auto& ws = book->Worksheets(sheet);
    EXPECT_EQ(ws.Name(), listed.sheetNames[static_cast<std::size_t>(sheet - 1)]);
    // Beyond the last used column (CC) and row: everything must read empty.
    for (int r = 1; r <= 60; ++r) {
      for (int c = 1; c <= 90; ++c) {
        const CellValue v = ws.Value(r, c);
        const DumpedCell* d = listed.Find(sheet, Cell{r, c});
        if (!d) {
          EXPECT_TRUE(v.IsEmpty()) << "worksheet " << sheet << " " << A1({r, c});
        } else if (d->isNumber) {
          EXPECT_EQ(v.kind, CellValue::Kind::Number) << "worksheet " << sheet << " " << A1({r, c});
          EXPECT_EQ(v.number, d->number) << "worksheet " << sheet << " " << A1({r, c});
        } else {
          EXPECT_TRUE(v.EqualsText(d->Plain())) << "worksheet " << sheet << " " << A1({r, c}) << ": " << v.text;
        }
      }
    }
  }
  MemoryWorkbook memory;
  listed.Fill(memory);
  ModelState fromFile, fromListing;
  LoadParameterTables(fromFile, *book);
  LoadWeightedSumParameters(fromFile, *book);
  LoadParameterTables(fromListing, memory);
  LoadWeightedSumParameters(fromListing, memory);
  EXPECT_TRUE(fromFile == fromListing);
}

} // namespace
} // namespace vontralek
