#include "layout/PhaseLoading.h"

#include <map>
#include <string>

#include "common/Errors.h"
#include "layout/Layout.h"

namespace vontralek {

using namespace layout;

namespace {

// The columns checked right of V on a phase row: a species column added there
// would otherwise be ignored without a word.
constexpr int kColumnsCheckedBeyond = 4;

std::string Where(const workbook::Worksheet& sheet, int row, int column) {
  return "Worksheet 3 (\"" + workbook::TextForMessage(sheet.Name()) + "\"), cell " +
         workbook::CellAddress(row, column) + " (phase table)";
}

std::string_view TrimmedText(const workbook::CellValue& value) {
  std::string_view text = value.kind == workbook::CellValue::Kind::Text ? std::string_view(value.text) : "";
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool RowHasName(const workbook::Worksheet& sheet, int row) {
  const workbook::CellValue name = sheet.Value(row, constant_sheet::PhaseFirstColumn);
  return name.kind == workbook::CellValue::Kind::Number || !TrimmedText(name).empty() ||
         (!name.IsEmpty() && name.kind != workbook::CellValue::Kind::Text);
}

} // namespace

bool HasPhaseTable(workbook::Workbook& workbook) {
  const workbook::Worksheet& sheet = workbook.Worksheets(ConstantSheet);
  const CellRef title = constant_sheet::PhaseTitle;
  return TrimmedText(sheet.Value(title.row, title.column)) == kPhaseTableTitle;
}

PhaseTable LoadPhaseTable(workbook::Workbook& workbook) {
  const workbook::Worksheet& sheet = workbook.Worksheets(ConstantSheet);
  if (!HasPhaseTable(workbook)) {
    const CellRef title = constant_sheet::PhaseTitle;
    throw WorkbookError(Where(sheet, title.row, title.column) + " does not hold the title \"" + kPhaseTableTitle +
                        "\", so the workbook has no phase table, but worksheet 4, E30 \"Saturation indices\" asks "
                        "for them: add the table (title in A89, one phase per row from row 91), or set E30 to "
                        "\"no\".");
  }
  PhaseTable phases;
  std::map<std::string, int> rowOfKey;
  int row = constant_sheet::PhaseFirstRow;
  for (; RowHasName(sheet, row); ++row) {
    if (row > constant_sheet::PhaseLastRow)
      throw WorkbookError(Where(sheet, row, constant_sheet::PhaseFirstColumn) +
                          " names a phase beyond the 60 a table may hold (rows 91 to 150): remove the phases you "
                          "do not need.");
    std::array<workbook::CellValue, PhaseFields> cells;
    PhaseRow values{};
    for (int f = 0; f < PhaseFields; ++f) {
      const auto i = static_cast<std::size_t>(f);
      cells[i] = sheet.Value(row, constant_sheet::PhaseFirstColumn + f);
      if (cells[i].kind == workbook::CellValue::Kind::Number) values[i].number = cells[i].number;
      values[i].text = cells[i].text; // a Boolean, error or formula is text: no number
    }
    Phase phase;
    try {
      phase = ReadPhase(values);
    } catch (const PhaseDataError& error) {
      throw WorkbookError(Where(sheet, row, constant_sheet::PhaseFirstColumn + error.field()) + ": " + error.what() +
                          ". Correct the cell (A name, C:M coefficients, N log K at 25 °C, O form \"analytic\", "
                          "\"van 't Hoff\" or empty, P:U A1..A6, V ΔH/kJ/mol).");
    }
    const std::string key = PhaseKey(phase.name);
    if (key.empty())
      throw WorkbookError(Where(sheet, row, constant_sheet::PhaseFirstColumn) + ": the name \"" +
                          workbook::TextForMessage(phase.name) + "\" has no letter or digit; give the phase a name.");
    if (const auto earlier = rowOfKey.find(key); earlier != rowOfKey.end())
      throw WorkbookError(Where(sheet, row, constant_sheet::PhaseFirstColumn) + ": the name \"" +
                          workbook::TextForMessage(phase.name) + "\" is used twice (also in A" +
                          std::to_string(earlier->second) +
                          ", letter case and punctuation aside): each phase needs a "
                          "name of its own.");
    for (int column = constant_sheet::PhaseLastColumn + 1;
         column <= constant_sheet::PhaseLastColumn + kColumnsCheckedBeyond; ++column)
      if (!sheet.IsEmpty(row, column))
        throw WorkbookError(Where(sheet, row, column) +
                            " is not empty, but a reaction takes only Ca2+, Mg2+, Na+, K+, Cl-, NO3-, SO4 2-, CO3 2-, "
                            "HCO3-, H+ and H2O (columns C to M; V is the last column of the table): empty the cell.");
    rowOfKey.emplace(key, row);
    phases.push_back(std::move(phase));
  }
  return phases;
}

} // namespace vontralek
