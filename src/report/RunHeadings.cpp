#include "report/RunHeadings.h"

#include <array>
#include <optional>

#include "common/Errors.h"
#include "workbook/Places.h"

namespace vontralek {

namespace {

constexpr std::array<CarbonatePair, 5> kPairs{CarbonatePair::AlkalinityPH, CarbonatePair::AlkalinityPCO2,
                                              CarbonatePair::BicarbonateCarbonate, CarbonatePair::DICPH,
                                              CarbonatePair::AlkalinityDIC};

// The two headings of a pair on a sheet, with the chemical sub- and
// superscripts: CO2 has its 2 lowered, CO3 2- its 3 lowered and 2- raised,
// HCO3- its 3 lowered and - raised. On the Batch sheet they carry their units.
std::array<HeadingCell, 2> HeadingsOfPair(DataSheet sheetMode, CarbonatePair pair) {
  const bool batch = sheetMode == DataSheet::Batch;
  const layout::CellRef first = batch ? layout::batch_sheet::FirstInputHeading : layout::main_sheet::FirstInputHeading;
  const layout::CellRef second =
      batch ? layout::batch_sheet::SecondInputHeading : layout::main_sheet::SecondInputHeading;
  const std::string alkalinity = batch ? "Alk/meq/L" : "Alk";
  switch (pair) {
  case CarbonatePair::AlkalinityPH:
    return {{{first, "pH", 0, 0, 0, 0, true}, {second, alkalinity, 0, 0, 0, 0, true}}};
  case CarbonatePair::AlkalinityPCO2:
    return {{{first, "pCO2", 4, 1, 0, 0, true}, {second, alkalinity, 0, 0, 0, 0, true}}};
  case CarbonatePair::BicarbonateCarbonate:
    return {{{first, batch ? "[CO32-]/mmol/L" : "[CO32-]", 4, 1, 5, 2, true},
             {second, batch ? "[HCO3-]/mmol/L" : "[HCO3-]", 5, 1, 6, 1, true}}};
  case CarbonatePair::DICPH:
    return {{{first, "pH", 0, 0, 0, 0, true}, {second, batch ? "DIC/mmol/L" : "DIC", 0, 0, 0, 0, true}}};
  case CarbonatePair::AlkalinityDIC:
    return {{{first, batch ? "DIC/mmol/L" : "DIC", 0, 0, 0, 0, true}, {second, alkalinity, 0, 0, 0, 0, true}}};
  case CarbonatePair::None:
    break;
  }
  return {};
}

// "B1:C1" for the pair's heading cells.
std::string PairRange(DataSheet sheetMode) {
  const auto [first, second] = HeadingsOfPair(sheetMode, CarbonatePair::AlkalinityPH);
  return workbook::CellAddress(first.cell.row, first.cell.column) + ":" +
         workbook::CellAddress(second.cell.row, second.cell.column);
}

// The pairs whose headings the sheet's pair heading cells show: every pair
// whose heading each non-empty cell holds (none when the cells are empty or
// agree with no pair).
std::vector<CarbonatePair> PairsShown(const workbook::Worksheet& sheet, DataSheet sheetMode) {
  std::vector<CarbonatePair> shown;
  bool anyHeld = false;
  for (const CarbonatePair pair : kPairs) {
    bool agrees = true;
    for (const HeadingCell& heading : HeadingsOfPair(sheetMode, pair)) {
      const workbook::CellValue v = sheet.Value(heading.cell.row, heading.cell.column);
      if (v.IsEmpty()) continue;
      anyHeld = true;
      agrees = agrees && v.EqualsText(heading.text);
    }
    if (agrees) shown.push_back(pair);
  }
  return anyHeld ? shown : std::vector<CarbonatePair>{};
}

// Whether the cell holds the program's heading of another pair than the run's.
bool HoldsAnotherPairsHeading(const workbook::CellValue& v, DataSheet sheetMode, CarbonatePair runPair, int position) {
  for (const CarbonatePair pair : kPairs) {
    if (pair == runPair) continue;
    if (v.EqualsText(HeadingsOfPair(sheetMode, pair)[static_cast<std::size_t>(position)].text)) return true;
  }
  return false;
}

std::string Held(const workbook::CellValue& v) {
  switch (v.kind) {
  case workbook::CellValue::Kind::Number:
    return "a number";
  case workbook::CellValue::Kind::UncalculatedFormula:
    return "the formula =" + workbook::TextForMessage(v.text);
  default:
    return std::string("\"").append(workbook::TextForMessage(v.text)).append("\"");
  }
}

} // namespace

const char* PairName(CarbonatePair pair) {
  switch (pair) {
  case CarbonatePair::AlkalinityPH:
    return "alkalinity and pH";
  case CarbonatePair::AlkalinityPCO2:
    return "alkalinity and pCO2";
  case CarbonatePair::BicarbonateCarbonate:
    return "bicarbonate and carbonate";
  case CarbonatePair::DICPH:
    return "DIC and pH";
  case CarbonatePair::AlkalinityDIC:
    return "alkalinity and DIC";
  case CarbonatePair::None:
    break;
  }
  return "no pair";
}

std::vector<HeadingCell> PairHeadings(DataSheet sheetMode, CarbonatePair pair) {
  if (pair == CarbonatePair::None) return {};
  const auto both = HeadingsOfPair(sheetMode, pair);
  return {both.begin(), both.end()};
}

std::vector<HeadingCell> RunHeadings(DataSheet sheetMode, CarbonatePair pair, AddedColumns columns) {
  std::vector<HeadingCell> headings = PairHeadings(sheetMode, pair);
  for (HeadingCell& added : AddedHeadings(sheetMode, columns)) headings.push_back(std::move(added));
  return headings;
}

void CheckRunHeadings(workbook::Workbook& workbook, DataSheet sheetMode, CarbonatePair pair,
                      const std::vector<HeadingCell>& headings) {
  const workbook::Worksheet& sheet =
      workbook.Worksheets(sheetMode == DataSheet::Batch ? layout::BatchSheet : layout::MainSheet);
  // The pair first: a sheet that shows another pair is refused as such, not
  // as a user's column.
  int position = 0;
  for (const HeadingCell& heading : headings) {
    if (!heading.pairHeading) continue;
    const workbook::CellValue v = sheet.Value(heading.cell.row, heading.cell.column);
    if (!v.EqualsText(heading.text) && HoldsAnotherPairsHeading(v, sheetMode, pair, position)) {
      std::vector<CarbonatePair> shown = PairsShown(sheet, sheetMode);
      std::string names;
      for (std::size_t i = 0; i < shown.size(); ++i)
        names += std::string(i == 0 ? "" : i + 1 == shown.size() ? " or " : ", ") + PairName(shown[i]);
      const std::string range = PairRange(sheetMode);
      throw WorkbookError(workbook::SheetPlace(sheet.Number(), sheet.Name()) + ", cells " + range +
                          " hold the headings of " + (names.empty() ? std::string("another pair") : names) + " (" +
                          workbook::CellAddress(heading.cell.row, heading.cell.column) + ": " + Held(v) +
                          "), but the run reads the sheet's inputs as " + PairName(pair) +
                          ": its values would be taken for the wrong quantities. Choose the pair the sheet holds, or "
                          "clear " +
                          range + " to change the sheet's pair.");
    }
    ++position;
  }
  for (const HeadingCell& heading : headings) {
    const workbook::CellValue v = sheet.Value(heading.cell.row, heading.cell.column);
    if (v.IsEmpty() || v.EqualsText(heading.text)) continue;
    throw WorkbookError(
        workbook::CellPlace(sheet, heading.cell.row, heading.cell.column) + " holds " + Held(v) +
        " where the program writes the heading \"" + heading.text + "\"" +
        (heading.pairHeading
             ? std::string(" of the pair ") + PairName(pair) + ": move that text elsewhere or empty the cell."
             : " and its column: move that column elsewhere or empty the cell, or turn the setting off (worksheet "
               "4, E24 \"Extra results\", E26 \"When a sample fails\", E29 \"Temperature\")."));
  }
}

void WriteRunHeadings(workbook::Workbook& workbook, DataSheet sheetMode, const std::vector<HeadingCell>& headings) {
  workbook::Worksheet& sheet =
      workbook.Worksheets(sheetMode == DataSheet::Batch ? layout::BatchSheet : layout::MainSheet);
  for (const HeadingCell& heading : headings) {
    const auto [row, column] = heading.cell;
    sheet.SetText(row, column, heading.text);
    if (heading.subscriptLength > 0) sheet.SetSubscript(row, column, heading.subscriptStart, heading.subscriptLength);
    if (heading.superscriptLength > 0)
      sheet.SetSuperscript(row, column, heading.superscriptStart, heading.superscriptLength);
  }
}

} // namespace vontralek
