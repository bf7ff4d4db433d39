#include "report/ReactionReport.h"

#include <array>

#include "common/Errors.h"
#include "layout/Layout.h"
#include "model/CarbonateTotals.h"
#include "report/SheetRows.h"

namespace vontralek {

const char* const kReactionHeadings[ReactionValueCount] = {"pH evaluation",
                                                           "SI calcite evaluation",
                                                           "pHC",
                                                           "Calcite dissolution capacity/mmol/L",
                                                           "Calcite dissolution capacity/mg/L CaCO3",
                                                           "CCPP/mg/L CaCO3",
                                                           "pH CO2 equilibrium",
                                                           "DIC CO2 equilibrium/mmol/L",
                                                           "SI calcite CO2 equilibrium",
                                                           "CO2 degassed/mmol/L"};

namespace {

using layout::CellRef;
namespace main_sheet = layout::main_sheet;
namespace batch_sheet = layout::batch_sheet;

// The first and last of the ten values each group fills (1-based).
constexpr int kCalciteFirst = 1, kCalciteLast = 6, kCO2First = 7, kCO2Last = 10;
constexpr const char* kEvaluationHeading = "Evaluation temperature/°C";
constexpr const char* kDissolvedCarbonHeading = "DIC/mmol/L";

CellRef DissolvedCarbonCell(DataSheet sheetMode, std::int64_t sample) {
  return sheetMode == DataSheet::Batch ? CellRef{RowOf(sample), batch_sheet::DissolvedCarbon}
                                       : main_sheet::DissolvedCarbon;
}

CellRef ReactionCell(DataSheet sheetMode, std::int64_t sample, int i) {
  return sheetMode == DataSheet::Batch ? CellRef{RowOf(sample), batch_sheet::Reactions[i]} : main_sheet::Reactions[i];
}

// The groups the columns ask for, as ranges of the ten values.
template <typename Each> void ForEachValue(const ReactionColumns& columns, Each each) {
  if (columns.calcite)
    for (int i = kCalciteFirst; i <= kCalciteLast; ++i) each(i);
  if (columns.co2)
    for (int i = kCO2First; i <= kCO2Last; ++i) each(i);
}

// CO2 in "pH CO2 equilibrium", "DIC CO2 ..." and the others has its 2 lowered.
int SubscriptOfCO2(const char* heading) {
  const std::string_view text(heading);
  const auto at = text.find("CO2");
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 3;
}

} // namespace

std::vector<HeadingCell> ReactionHeadings(DataSheet sheetMode, const ReactionColumns& columns) {
  std::vector<HeadingCell> cells;
  const bool batch = sheetMode == DataSheet::Batch;
  if (columns.evaluationTemperature)
    cells.push_back({batch ? CellRef{batch_sheet::HeadingRow, batch_sheet::EvaluationTemperature}
                           : main_sheet::EvaluationTemperatureHeading,
                     kEvaluationHeading});
  if (columns.dissolvedCarbon)
    cells.push_back(
        {batch ? CellRef{batch_sheet::HeadingRow, batch_sheet::DissolvedCarbon} : main_sheet::DissolvedCarbonHeading,
         kDissolvedCarbonHeading});
  ForEachValue(columns, [&](int i) {
    const char* text = kReactionHeadings[i - 1];
    const int lowered = SubscriptOfCO2(text);
    cells.push_back(
        {batch ? CellRef{batch_sheet::HeadingRow, batch_sheet::Reactions[i]} : main_sheet::ReactionHeadings[i], text,
         lowered, lowered == 0 ? 0 : 1});
  });
  return cells;
}

void WriteReactionResults(const ModelState& solved, workbook::Workbook& workbook, DataSheet sheetMode,
                          std::int64_t sample, const ReactionColumns& columns) {
  workbook::Worksheet& sheet = workbook.Worksheets(SheetOf(sheetMode));
  if (columns.dissolvedCarbon) {
    const CellRef cell = DissolvedCarbonCell(sheetMode, sample);
    sheet.SetNumber(cell.row, cell.column, DissolvedInorganicCarbon(solved) * 1000.0); // mmol/L
  }
  const ReactionResults& r = solved.Reactions;
  // mol/L -> mg/L as CaCO3: times M(CaCO3) in g/mol and 1000 mg/g.
  const double mgCaCO3 = r.dissolutionCapacity * kMolarMassCaCO3 * 1000.0;
  const std::array<double, ReactionValueCount> values{
      r.pHEvaluation, r.siCalciteEvaluation, r.pHC,          r.dissolutionCapacity * 1000.0, mgCaCO3, -mgCaCO3,
      r.pHCO2,        r.dicCO2 * 1000.0,     r.siCalciteCO2, r.co2Degassed * 1000.0};
  ForEachValue(columns, [&](int i) {
    const bool computed = i <= kCalciteLast ? r.calcite : r.co2;
    const bool defined = computed && (i != 2 || r.siCalciteEvaluationDefined) && (i != 9 || r.siCalciteCO2Defined);
    const CellRef cell = ReactionCell(sheetMode, sample, i);
    if (defined) {
      sheet.SetNumber(cell.row, cell.column, values[static_cast<std::size_t>(i - 1)]);
    } else {
      sheet.SetText(cell.row, cell.column, "nd");
    }
  });
}

void ClearReactionResults(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample,
                          const ReactionColumns& columns) {
  workbook::Worksheet& sheet = workbook.Worksheets(SheetOf(sheetMode));
  if (columns.dissolvedCarbon) {
    const CellRef cell = DissolvedCarbonCell(sheetMode, sample);
    sheet.SetEmpty(cell.row, cell.column);
  }
  ForEachValue(columns, [&](int i) {
    const CellRef cell = ReactionCell(sheetMode, sample, i);
    sheet.SetEmpty(cell.row, cell.column);
  });
}

} // namespace vontralek
