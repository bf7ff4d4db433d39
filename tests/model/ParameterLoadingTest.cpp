// Loading of the log K values, charges and weights from worksheets 3 and 4.
//
// The expected cell of every field is written out below as the literal A1
// address taken from the layout tables of the parameter sheets, not computed
// with the loader's index formulas, so that an off-by-one in a formula shows.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/Errors.h"
#include "model/ParameterLoading.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek {
namespace {

using workbook::CellValue;
using workbook::MemoryWorkbook;
using workbook::MemoryWorksheet;

// "D14" -> (14, 4). Independent of CellAddress so that both are checked.
std::pair<int, int> Cell(const std::string& a1) {
  int column = 0;
  std::size_t i = 0;
  for (; i < a1.size() && a1[i] >= 'A' && a1[i] <= 'Z'; ++i) column = column * 26 + (a1[i] - 'A' + 1);
  return {std::stoi(a1.substr(i)), column};
}

void Put(MemoryWorksheet& sheet, const std::string& a1, CellValue value) {
  const auto [row, column] = Cell(a1);
  sheet.Put(row, column, std::move(value));
}

// Worksheet 3: constant row -> cell. Row 5 B..G holds constants 1..6; the
// matrix rows 13..18 are OH-, ligands 1..5, columns C..F cations 1..4.
const std::vector<std::pair<std::string, int>> kConstantCells = {{"B5", 1},   {"C5", 2},   {"D5", 3},   {"E5", 4},
                                                                 {"F5", 5},   {"G5", 6},                             //
                                                                 {"C13", 7},  {"D13", 8},  {"E13", 9},  {"F13", 10}, //
                                                                 {"C14", 11}, {"D14", 12}, {"E14", 13}, {"F14", 14}, //
                                                                 {"C15", 15}, {"D15", 16}, {"E15", 17}, {"F15", 18}, //
                                                                 {"C16", 19}, {"D16", 20}, {"E16", 21}, {"F16", 22}, //
                                                                 {"C17", 23}, {"D17", 24}, {"E17", 25}, {"F17", 26}, //
                                                                 {"C18", 27}, {"D18", 28}, {"E18", 29}, {"F18", 30}};

const std::vector<std::string> kSpeciesColumns = {"B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L"};
const std::vector<std::string> kComplexColumns = {"B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M"};

// Charge cell and weight cell of complex row m (1..24).
std::pair<std::string, std::string> ComplexCells(int m) {
  const std::string& column = kComplexColumns[static_cast<std::size_t>((m - 1) % 12)];
  return m <= 12 ? std::pair{column + "10", column + "11"} : std::pair{column + "14", column + "15"};
}

// A number no other cell gets, so that a value in the wrong field shows.
double Distinct(const std::string& a1) {
  const auto [row, column] = Cell(a1);
  return row * 100.0 + column + 0.25;
}

// Every numeric field of the state set to a value of its own, so that a write
// to a field the loader must not touch is seen.
ModelState FilledState() {
  ModelState s;
  double v = 1000.5;
  auto fill = [&v](SpeciesRecord& r) {
    r.TotalConc = v++;
    r.FreeConc = v++;
    r.NextFreeConc = v++;
    r.Charge = v++;
    r.Gamma = v++;
    r.LogActivity = v++;
    r.SumWeight = v++;
    r.PercentChange = v++;
    r.LogActivityDefined = true;
  };
  for (int i = 1; i <= 12; ++i) fill(s.SpeciesTable[i]);
  for (int i = 1; i <= 24; ++i) fill(s.ComplexTable[i]);
  for (int i = 1; i <= 30; ++i) s.ConstantTable[i] = {v++, v++, v++};
  for (int i = 1; i <= 13; ++i) s.AuxTable[i] = {v++, v++};
  for (int i = 1; i <= 4; ++i) s.IterationCounters[i] = static_cast<std::int16_t>(i + 7);
  s.PH = v++;
  s.PCO2 = v++;
  s.Alkalinity = v++;
  s.IonicStrength = v++;
  s.NewIonicStrength = v++;
  s.InitialIonicStrength = v++;
  s.IonicStrengthChange = v++;
  s.FreeHydroxide = v++;
  s.MachineEpsilon = v++;
  s.LogIapCaCO3 = v++;
  s.LogIapCaSO4 = v++;
  s.LogIapCaCO3Defined = true;
  s.LogIapCaSO4Defined = true;
  s.Sar = v++;
  s.SarActivity = v++;
  s.SheetMode = "B";
  s.InputPair = "C";
  s.CurrentSample = 3;
  s.SampleRowCounter = 9;
  s.SampleCount = v++;
  s.SampleNumber = v++;
  s.ProgressPercent = v++;
  return s;
}

// Fills every cell the loaders read with its distinct number.
void FillParameterCells(MemoryWorkbook& book) {
  for (const auto& [a1, row] : kConstantCells) Put(book.Sheet(3), a1, CellValue::Number(Distinct(a1)));
  for (const auto& column : kSpeciesColumns) {
    Put(book.Sheet(4), column + "4", CellValue::Number(Distinct(column + "4")));
    Put(book.Sheet(4), column + "6", CellValue::Number(Distinct(column + "6")));
  }
  for (int m = 1; m <= 24; ++m) {
    const auto [charge, weight] = ComplexCells(m);
    Put(book.Sheet(4), charge, CellValue::Number(Distinct(charge)));
    Put(book.Sheet(4), weight, CellValue::Number(Distinct(weight)));
  }
  Put(book.Sheet(4), "E19", CellValue::Number(Distinct("E19")));
  Put(book.Sheet(4), "E20", CellValue::Number(Distinct("E20")));
}

void ExpectWorkbookUntouched(MemoryWorkbook& book) {
  for (int sheet = 1; sheet <= book.WorksheetCount(); ++sheet) {
    EXPECT_TRUE(book.Sheet(sheet).Writes().empty()) << "worksheet " << sheet;
    EXPECT_TRUE(book.Sheet(sheet).Formats().empty()) << "worksheet " << sheet;
  }
  EXPECT_EQ(book.SaveCount(), 0);
}

// Records every cell read, in order, on top of the in-memory worksheets.
class ReadLog {
public:
  struct Read {
    int sheet;
    std::string cell;
    bool operator==(const Read&) const = default;
  };
  class Sheet : public workbook::Worksheet {
  public:
    Sheet(MemoryWorksheet& inner, std::vector<Read>& log) : inner_(inner), log_(log) {}
    std::string Name() const override { return inner_.Name(); }
    int Number() const override { return inner_.Number(); }
    CellValue Value(int row, int column) const override {
      log_.push_back({inner_.Number(), workbook::CellAddress(row, column)});
      return inner_.Value(row, column);
    }
    void SetNumber(int r, int c, double v) override { inner_.SetNumber(r, c, v); }
    void SetText(int r, int c, std::string_view t) override { inner_.SetText(r, c, t); }
    void SetSubscript(int r, int c, int s, int l) override { inner_.SetSubscript(r, c, s, l); }
    void SetSuperscript(int r, int c, int s, int l) override { inner_.SetSuperscript(r, c, s, l); }

  private:
    MemoryWorksheet& inner_;
    std::vector<Read>& log_;
  };
  class Book : public workbook::Workbook {
  public:
    explicit Book(MemoryWorkbook& inner, std::vector<Read>& log) : inner_(inner) {
      for (int i = 1; i <= inner.WorksheetCount(); ++i) sheets_.push_back(std::make_unique<Sheet>(inner.Sheet(i), log));
    }
    workbook::Worksheet& Worksheets(int number) override {
      inner_.Worksheets(number); // throws for a missing sheet
      return *sheets_[static_cast<std::size_t>(number - 1)];
    }
    int WorksheetCount() const override { return inner_.WorksheetCount(); }
    void Activate(int number) override { inner_.Activate(number); }
    void Save() override { inner_.Save(); }
    void SaveAs(const std::filesystem::path& p) override { inner_.SaveAs(p); }
    std::filesystem::path Path() const override { return inner_.Path(); }

  private:
    MemoryWorkbook& inner_;
    std::vector<std::unique_ptr<Sheet>> sheets_;
  };
};

TEST(LoadParameterTables, EveryCellLandsInItsOwnFieldAndNothingElseChanges) {
  MemoryWorkbook book;
  FillParameterCells(book);
  ModelState state = FilledState();
  ModelState expected = state;

  LoadParameterTables(state, book);

  for (const auto& [a1, row] : kConstantCells) {
    EXPECT_EQ(state.ConstantTable[row].LogK, Distinct(a1)) << "constant row " << row << " from " << a1;
    expected.ConstantTable[row].LogK = Distinct(a1);
  }
  for (int i = 1; i <= 11; ++i) {
    const std::string& column = kSpeciesColumns[static_cast<std::size_t>(i - 1)];
    EXPECT_EQ(state.SpeciesTable[i].Charge, Distinct(column + "4")) << "species " << i;
    EXPECT_EQ(state.SpeciesTable[i].SumWeight, Distinct(column + "6")) << "species " << i;
    expected.SpeciesTable[i].Charge = Distinct(column + "4");
    expected.SpeciesTable[i].SumWeight = Distinct(column + "6");
  }
  for (int m = 1; m <= 24; ++m) {
    const auto [charge, weight] = ComplexCells(m);
    EXPECT_EQ(state.ComplexTable[m].Charge, Distinct(charge)) << "complex " << m;
    EXPECT_EQ(state.ComplexTable[m].SumWeight, Distinct(weight)) << "complex " << m;
    expected.ComplexTable[m].Charge = Distinct(charge);
    expected.ComplexTable[m].SumWeight = Distinct(weight);
  }
  // The weighted-sum parameters are not part of the table loading.
  EXPECT_TRUE(state.AuxTable == expected.AuxTable);
  EXPECT_TRUE(state == expected) << "a field outside the parameter tables changed";
  ExpectWorkbookUntouched(book);
}

TEST(LoadParameterTables, CellsNamedInTheLayoutMapToTheirRows) {
  // Single cells checked one at a time on an otherwise empty workbook.
  struct Case {
    int sheet;
    std::string cell;
    double (*field)(const ModelState&);
  };
  const std::vector<Case> cases = {
      {3, "D14", [](const ModelState& s) { return s.ConstantTable[12].LogK; }},
      {3, "C18", [](const ModelState& s) { return s.ConstantTable[27].LogK; }},
      {3, "F13", [](const ModelState& s) { return s.ConstantTable[10].LogK; }},
      {4, "M15", [](const ModelState& s) { return s.ComplexTable[24].SumWeight; }},
      {4, "B14", [](const ModelState& s) { return s.ComplexTable[13].Charge; }},
  };
  for (const auto& c : cases) {
    MemoryWorkbook book;
    Put(book.Sheet(c.sheet), c.cell, CellValue::Number(-7.125));
    ModelState state;
    LoadParameterTables(state, book);
    EXPECT_EQ(c.field(state), -7.125) << c.cell;
    // Everything else stays 0, so the value went nowhere else.
    ModelState others = state;
    others.ConstantTable[12].LogK = others.ConstantTable[27].LogK = others.ConstantTable[10].LogK = 0.0;
    others.ComplexTable[24].SumWeight = others.ComplexTable[13].Charge = 0.0;
    EXPECT_TRUE(others == ModelState{}) << c.cell << " also changed another field";
  }
}

TEST(LoadParameterTables, ReadsTheHundredCellsInTheFixedOrder) {
  // Worksheet 3: B5..G5, then the matrix column by column (C13..C18, D13..);
  // worksheet 4: charge and weight of each species, then each complex column
  // in the order rows 10, 11, 14, 15.
  std::vector<ReadLog::Read> expected;
  for (const char* c : {"B5", "C5", "D5", "E5", "F5", "G5"}) expected.push_back({3, c});
  for (const char* column : {"C", "D", "E", "F"}) {
    for (int row = 13; row <= 18; ++row) expected.push_back({3, column + std::to_string(row)});
  }
  for (const auto& column : kSpeciesColumns) {
    expected.push_back({4, column + "4"});
    expected.push_back({4, column + "6"});
  }
  for (const auto& column : kComplexColumns) {
    for (const char* row : {"10", "11", "14", "15"}) expected.push_back({4, column + row});
  }
  ASSERT_EQ(expected.size(), 100u);

  MemoryWorkbook memory;
  std::vector<ReadLog::Read> log;
  ReadLog::Book book(memory, log);
  ModelState state;
  LoadParameterTables(state, book);
  EXPECT_EQ(log, expected);
}

TEST(LoadParameterTables, AllEmptyCellsGiveZeroEverywhere) {
  // Empty cells read as 0: every constant is then absent (log K 0), and values
  // a previous load left are overwritten, not kept.
  MemoryWorkbook book;
  ModelState state = FilledState();
  LoadParameterTables(state, book);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(state.ConstantTable[i].LogK, 0.0) << i;
  for (int i = 1; i <= 11; ++i) {
    EXPECT_EQ(state.SpeciesTable[i].Charge, 0.0) << i;
    EXPECT_EQ(state.SpeciesTable[i].SumWeight, 0.0) << i;
  }
  for (int i = 1; i <= 24; ++i) {
    EXPECT_EQ(state.ComplexTable[i].Charge, 0.0) << i;
    EXPECT_EQ(state.ComplexTable[i].SumWeight, 0.0) << i;
  }
}

TEST(LoadParameterTables, CellsOutsideTheLayoutAreNeverRead) {
  // Text anywhere else would be a type mismatch if it were read. M4 and M6 lie
  // one column past the 11 species, N10/N11/N14/N15 one past the 12 complexes;
  // row 12 of the species has no cells; E19/E20 belong to the sum loader; row 6
  // and J13:M18 of worksheet 3 hold the conditional constants the report writes.
  MemoryWorkbook book;
  for (const char* cell : {"M4", "M6", "N10", "N11", "N14", "N15", "A4", "A6", "B5", "E19", "E20", "B12", "M12"}) {
    Put(book.Sheet(4), cell, CellValue::Text("note"));
  }
  for (const char* cell : {"A5", "H5", "B6", "G6", "B13", "C12", "G13", "C19", "J13", "M18"}) {
    Put(book.Sheet(3), cell, CellValue::Text("note"));
  }
  Put(book.Sheet(1), "A5", CellValue::Text("note"));
  Put(book.Sheet(2), "B2", CellValue::Text("note"));
  ModelState state;
  EXPECT_NO_THROW(LoadParameterTables(state, book));
  EXPECT_EQ(state.SpeciesTable[12].Charge, 0.0);
  EXPECT_EQ(state.SpeciesTable[12].SumWeight, 0.0);
  ExpectWorkbookUntouched(book);
}

TEST(LoadParameterTables, DissolvedCO2KeepsItsChargeAndWeight) {
  MemoryWorkbook book;
  FillParameterCells(book);
  ModelState state = FilledState();
  const SpeciesRecord before = state.SpeciesTable[12];
  LoadParameterTables(state, book);
  EXPECT_EQ(state.SpeciesTable[12], before);

  ModelState fresh;
  LoadParameterTables(fresh, book);
  EXPECT_EQ(fresh.SpeciesTable[12].Charge, 0.0);
  EXPECT_EQ(fresh.SpeciesTable[12].SumWeight, 0.0);
  for (int row = 1; row <= 13; ++row) EXPECT_EQ(fresh.AuxTable[row], AuxRecord{}) << row;
}

TEST(LoadParameterTables, TextInG5StopsWithATypeMismatchNamingTheCell) {
  MemoryWorkbook book;
  FillParameterCells(book);
  Put(book.Sheet(3), "G5", CellValue::Text("see note"));
  ModelState state = FilledState();
  const ModelState before = state;
  try {
    LoadParameterTables(state, book);
    FAIL() << "no error for text in G5";
  } catch (const TypeMismatchError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("G5"), std::string::npos) << message;
    EXPECT_NE(message.find("see note"), std::string::npos) << message;
    EXPECT_NE(message.find("worksheet 3"), std::string::npos) << message;
  }
  // B5..F5 were read before G5 and keep their new values; everything after
  // G5 in the reading order keeps the old ones.
  for (int row = 1; row <= 5; ++row) {
    EXPECT_EQ(state.ConstantTable[row].LogK, Distinct(kConstantCells[static_cast<std::size_t>(row - 1)].first));
  }
  for (int row = 6; row <= 30; ++row) EXPECT_EQ(state.ConstantTable[row], before.ConstantTable[row]) << row;
  EXPECT_TRUE(state.SpeciesTable == before.SpeciesTable);
  EXPECT_TRUE(state.ComplexTable == before.ComplexTable);
  ExpectWorkbookUntouched(book);
}

TEST(LoadParameterTables, FailureMidwayOnTheChargeSheetKeepsTheEarlierFields) {
  // Column C of the complexes is read after all of column B (rows 10, 11, 14,
  // 15): an error in C11 leaves complexes 1 and 13 loaded, complex 2's charge
  // loaded (C10 comes before C11) and its weight and everything later untouched.
  MemoryWorkbook book;
  FillParameterCells(book);
  Put(book.Sheet(4), "C11", CellValue::Text("1,5"));
  ModelState state = FilledState();
  const ModelState before = state;
  EXPECT_THROW(LoadParameterTables(state, book), TypeMismatchError);
  for (int i = 1; i <= 30; ++i) EXPECT_NE(state.ConstantTable[i].LogK, before.ConstantTable[i].LogK) << i;
  for (int i = 1; i <= 11; ++i) EXPECT_NE(state.SpeciesTable[i].SumWeight, before.SpeciesTable[i].SumWeight) << i;
  EXPECT_EQ(state.ComplexTable[1].SumWeight, Distinct("B11"));
  EXPECT_EQ(state.ComplexTable[13].SumWeight, Distinct("B15"));
  EXPECT_EQ(state.ComplexTable[2].Charge, Distinct("C10"));
  EXPECT_EQ(state.ComplexTable[2].SumWeight, before.ComplexTable[2].SumWeight);
  EXPECT_EQ(state.ComplexTable[14].Charge, before.ComplexTable[14].Charge);
  EXPECT_EQ(state.ComplexTable[24].SumWeight, before.ComplexTable[24].SumWeight);
}

TEST(LoadParameterTables, MissingChargeSheetFailsAfterTheConstants) {
  MemoryWorkbook book(3);
  Put(book.Sheet(3), "B5", CellValue::Number(-1.5));
  ModelState state;
  EXPECT_THROW(LoadParameterTables(state, book), WorkbookError);
  EXPECT_EQ(state.ConstantTable[1].LogK, -1.5);
}

TEST(LoadWeightedSumParameters, ReadsStartValueAndScaleIntoRow11) {
  MemoryWorkbook book;
  FillParameterCells(book);
  ModelState state = FilledState();
  ModelState expected = state;
  LoadWeightedSumParameters(state, book);
  expected.AuxTable[11] = {Distinct("E19"), Distinct("E20")};
  EXPECT_EQ(state.AuxTable[11].WeightedSum, Distinct("E19"));
  EXPECT_EQ(state.AuxTable[11].SumScale, Distinct("E20"));
  EXPECT_TRUE(state == expected) << "a field other than AuxTable[11] changed";
  ExpectWorkbookUntouched(book);
}

TEST(LoadWeightedSumParameters, EverySolveRestartsFromTheWorkbookValue) {
  // E19 = 2: whatever sum the previous sample left, the next starts from 2.
  MemoryWorkbook book;
  Put(book.Sheet(4), "E19", CellValue::Number(2.0));
  ModelState state;
  LoadWeightedSumParameters(state, book);
  state.AuxTable[11].WeightedSum += 17.5; // a sample's sum accumulated on top
  LoadWeightedSumParameters(state, book);
  EXPECT_EQ(state.AuxTable[11].WeightedSum, 2.0);
  EXPECT_EQ(state.AuxTable[11].SumScale, 0.0); // E20 empty
}

TEST(LoadWeightedSumParameters, TextInE20FailsAfterE19WasRead) {
  MemoryWorkbook book;
  Put(book.Sheet(4), "E19", CellValue::Number(0.5));
  Put(book.Sheet(4), "E20", CellValue::Text("one"));
  ModelState state;
  state.AuxTable[11].SumScale = 3.0;
  try {
    LoadWeightedSumParameters(state, book);
    FAIL() << "no error for text in E20";
  } catch (const TypeMismatchError& e) {
    EXPECT_NE(std::string(e.what()).find("E20"), std::string::npos) << e.what();
  }
  EXPECT_EQ(state.AuxTable[11].WeightedSum, 0.5);
  EXPECT_EQ(state.AuxTable[11].SumScale, 3.0);
}

} // namespace
} // namespace vontralek
