#include "report/ExtraResults.h"

#include <array>
#include <vector>

#include "common/Errors.h"
#include "layout/Layout.h"
#include "report/SheetRows.h"

namespace vontralek {

namespace {

using layout::CellRef;

// A heading and its lowered characters (1-based start, length).
struct Heading {
  const char* text;
  int subscriptStart, subscriptLength;
};
// SI calcite (CaCO3): the 3 lowered; SI gypsum (CaSO4): the 4 lowered.
constexpr std::array<Heading, 3> kExtraHeadings{
    {{"SI calcite (CaCO3)", 17, 1}, {"SI gypsum (CaSO4)", 16, 1}, {"Charge balance error/%", 0, 0}}};
constexpr Heading kStatusHeading{"Status", 0, 0};
constexpr Heading kTemperatureHeading{"Temperature/°C", 0, 0};

struct PlacedHeading {
  CellRef cell;
  Heading heading;
};

std::vector<PlacedHeading> HeadingsOf(DataSheet sheetMode, AddedColumns columns) {
  std::vector<PlacedHeading> placed;
  if (columns.extraResults) {
    for (int i = 1; i <= 3; ++i) {
      const CellRef cell = sheetMode == DataSheet::Batch
                               ? CellRef{layout::batch_sheet::HeadingRow, layout::batch_sheet::ExtraResults[i]}
                               : layout::main_sheet::ExtraHeadings[i];
      placed.push_back({cell, kExtraHeadings[static_cast<std::size_t>(i - 1)]});
    }
  }
  if (columns.status && sheetMode == DataSheet::Batch) {
    placed.push_back({{layout::batch_sheet::HeadingRow, layout::batch_sheet::Status}, kStatusHeading});
  }
  if (columns.temperature) {
    placed.push_back({sheetMode == DataSheet::Batch
                          ? CellRef{layout::batch_sheet::HeadingRow, layout::batch_sheet::Temperature}
                          : layout::main_sheet::TemperatureHeading,
                      kTemperatureHeading});
  }
  return placed;
}

} // namespace

std::vector<HeadingCell> AddedHeadings(DataSheet sheetMode, AddedColumns columns) {
  std::vector<HeadingCell> cells;
  for (const auto& [cell, heading] : HeadingsOf(sheetMode, columns))
    cells.push_back({cell, heading.text, heading.subscriptStart, heading.subscriptLength, 0, 0, false});
  for (HeadingCell& reaction : ReactionHeadings(sheetMode, columns.reactions)) cells.push_back(std::move(reaction));
  return cells;
}

void WriteExtraResults(const ModelState& state, workbook::Workbook& workbook) {
  const bool batch = state.SheetMode == DataSheet::Batch;
  workbook::Worksheet& sheet = workbook.Worksheets(SheetOf(state.SheetMode));
  const auto cell = [&](int i) {
    return batch ? CellRef{RowOf(state.CurrentSample), layout::batch_sheet::ExtraResults[i]}
                 : layout::main_sheet::ExtraResults[i];
  };
  const auto put = [&](int i, bool defined, double value) {
    const CellRef c = cell(i);
    if (defined) {
      sheet.SetNumber(c.row, c.column, value);
    } else {
      sheet.SetText(c.row, c.column, "nd");
    }
  };
  put(1, state.SaturationIndexCalciteDefined, state.SaturationIndexCalcite);
  put(2, state.SaturationIndexGypsumDefined, state.SaturationIndexGypsum);
  put(3, true, state.ChargeBalanceError); // %
}

void ClearExtraResults(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample) {
  workbook::Worksheet& sheet = workbook.Worksheets(SheetOf(sheetMode));
  for (int i = 1; i <= 3; ++i) {
    if (sheetMode == DataSheet::Batch) {
      sheet.SetEmpty(RowOf(sample), layout::batch_sheet::ExtraResults[i]);
    } else {
      sheet.SetEmpty(layout::main_sheet::ExtraResults[i].row, layout::main_sheet::ExtraResults[i].column);
    }
  }
}

void WriteSampleStatus(workbook::Workbook& workbook, std::int64_t sample, const std::string& status) {
  workbook.Worksheets(layout::BatchSheet).SetText(RowOf(sample), layout::batch_sheet::Status, status);
}

void ClearSampleStatus(workbook::Workbook& workbook, std::int64_t sample) {
  workbook.Worksheets(layout::BatchSheet).SetEmpty(RowOf(sample), layout::batch_sheet::Status);
}

} // namespace vontralek
