#include "report/MineralReport.h"

#include <string>
#include <vector>

#include "common/Errors.h"
#include "layout/Layout.h"
#include "report/SheetRows.h"

namespace vontralek {

const char* const kWaterQualityHeadings[WaterQualityCount] = {"Hardness mmol/L",
                                                              "Hardness mg/L CaCO3",
                                                              "Hardness °dH",
                                                              "Carbonate hardness mmol/L",
                                                              "Dissolved solids mg/L",
                                                              "Larson-Skold",
                                                              "LSI",
                                                              "RSI",
                                                              "PSI",
                                                              "log a H2O"};

std::string SaturationIndexHeading(const Phase& phase) { return "SI " + phase.name; }

namespace {

using layout::CellRef;
namespace main_sheet = layout::main_sheet;
namespace batch_sheet = layout::batch_sheet;

struct PlacedHeading {
  CellRef cell;
  std::string text;
};

std::vector<PlacedHeading> HeadingsOf(DataSheet sheetMode, const MineralColumns& columns) {
  std::vector<PlacedHeading> placed;
  const bool batch = sheetMode == DataSheet::Batch;
  if (columns.waterQuality)
    for (int i = 1; i <= WaterQualityCount; ++i)
      placed.push_back(
          {batch ? CellRef{batch_sheet::HeadingRow, batch_sheet::WaterQuality[i]} : main_sheet::WaterQualityHeadings[i],
           kWaterQualityHeadings[i - 1]});
  if (columns.saturationIndices && columns.phases != nullptr) {
    if (batch) {
      int column = batch_sheet::FirstSaturationIndex;
      for (const Phase& phase : *columns.phases)
        placed.push_back({{batch_sheet::HeadingRow, column++}, SaturationIndexHeading(phase)});
    } else {
      placed.push_back({main_sheet::PhaseHeading, "Phase"});
      placed.push_back({main_sheet::SaturationIndexHeading, "SI"});
    }
  }
  return placed;
}

// Where value i of the results goes: water quality 0 to 9, then the phases.
CellRef WaterQualityCell(DataSheet sheetMode, std::int64_t sample, int i) {
  return sheetMode == DataSheet::Batch ? CellRef{RowOf(sample), batch_sheet::WaterQuality[i + 1]}
                                       : main_sheet::WaterQuality[i + 1];
}
CellRef SaturationIndexCell(DataSheet sheetMode, std::int64_t sample, int phase) {
  return sheetMode == DataSheet::Batch ? CellRef{RowOf(sample), batch_sheet::FirstSaturationIndex + phase}
                                       : CellRef{main_sheet::FirstPhaseRow + phase, main_sheet::SaturationIndexColumn};
}

void Put(workbook::Worksheet& sheet, CellRef cell, const ResultValue& value) {
  if (value.defined) {
    sheet.SetNumber(cell.row, cell.column, value.value);
  } else {
    sheet.SetText(cell.row, cell.column, "nd");
  }
}

} // namespace

void CheckMineralHeadings(workbook::Workbook& workbook, DataSheet sheetMode, const MineralColumns& columns) {
  const workbook::Worksheet& sheet = workbook.Worksheets(SheetOf(sheetMode));
  for (const auto& [cell, heading] : HeadingsOf(sheetMode, columns)) {
    const workbook::CellValue v = sheet.Value(cell.row, cell.column);
    if (v.IsEmpty() || v.EqualsText(heading)) continue;
    throw WorkbookError("Worksheet " + std::to_string(sheet.Number()) + " (\"" +
                        workbook::TextForMessage(sheet.Name()) + "\"), cell " +
                        workbook::CellAddress(cell.row, cell.column) + " holds \"" +
                        workbook::TextForMessage(v.kind == workbook::CellValue::Kind::Number ? "a number" : v.text) +
                        "\" where the program would write the heading \"" + workbook::TextForMessage(heading) +
                        "\" and its values: move that column elsewhere or empty the cell, or turn the setting off "
                        "(worksheet 4, E30 \"Saturation indices\", E31 \"Water quality\").");
  }
}

void WriteMineralHeadings(workbook::Workbook& workbook, DataSheet sheetMode, const MineralColumns& columns) {
  workbook::Worksheet& sheet = workbook.Worksheets(SheetOf(sheetMode));
  for (const auto& [cell, heading] : HeadingsOf(sheetMode, columns)) sheet.SetText(cell.row, cell.column, heading);
  if (sheetMode == DataSheet::Batch || !columns.saturationIndices || columns.phases == nullptr) return;
  int row = main_sheet::FirstPhaseRow;
  for (const Phase& phase : *columns.phases) sheet.SetText(row++, main_sheet::PhaseNameColumn, phase.name);
}

void WriteMineralResults(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample,
                         const MineralColumns& columns, const MineralResults& results) {
  workbook::Worksheet& sheet = workbook.Worksheets(SheetOf(sheetMode));
  if (columns.waterQuality)
    for (int i = 0; i < WaterQualityCount; ++i)
      Put(sheet, WaterQualityCell(sheetMode, sample, i), results.waterQuality[static_cast<std::size_t>(i)]);
  if (columns.saturationIndices)
    for (std::size_t p = 0; p < results.saturationIndices.size(); ++p)
      Put(sheet, SaturationIndexCell(sheetMode, sample, static_cast<int>(p)), results.saturationIndices[p]);
}

void ClearMineralResults(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample,
                         const MineralColumns& columns) {
  workbook::Worksheet& sheet = workbook.Worksheets(SheetOf(sheetMode));
  if (columns.waterQuality)
    for (int i = 0; i < WaterQualityCount; ++i) {
      const CellRef cell = WaterQualityCell(sheetMode, sample, i);
      sheet.SetEmpty(cell.row, cell.column);
    }
  if (columns.saturationIndices && columns.phases != nullptr)
    for (std::size_t p = 0; p < columns.phases->size(); ++p) {
      const CellRef cell = SaturationIndexCell(sheetMode, sample, static_cast<int>(p));
      sheet.SetEmpty(cell.row, cell.column);
    }
}

} // namespace vontralek
