#include "layout/RequiredConstants.h"

#include <array>
#include <string>

#include "common/Errors.h"
#include "layout/Layout.h"
#include "workbook/Places.h"

namespace vontralek {

void CheckRequiredConstants(const ModelState& state, workbook::Workbook& workbook) {
  // ConstantTable rows 1 to 4, in the order of B5:E5.
  static constexpr std::array<const char*, 4> kNames{"the CO2 solubility (Henry) constant", "the ion product of water",
                                                     "the first dissociation constant of carbonic acid",
                                                     "the second dissociation constant of carbonic acid"};
  const workbook::Worksheet& sheet = workbook.Worksheets(layout::ConstantSheet);
  for (int n = 1; n <= 4; ++n) {
    if (state.ConstantTable[n].LogK != 0.0) continue;
    const layout::CellRef cell = layout::constant_sheet::LogK[n];
    throw WorkbookError(workbook::CellPlace(sheet, cell.row, cell.column) + " (log K of " +
                        kNames[static_cast<std::size_t>(n - 1)] +
                        ") is empty or 0, which leaves the constant out, but every sample needs it. Enter its "
                        "log K at 25 °C (the shipped value and its source are in data/default-logk.csv).");
  }
}

} // namespace vontralek
