#pragma once

// Where a data sheet's results go: the worksheet of the Main or Batch sheet,
// and the row of batch sample k (sample k on row k + 1).

#include <cstdint>
#include <string>

#include "common/Errors.h"
#include "layout/Layout.h"
#include "model/ModelState.h"

namespace vontralek {

inline int SheetOf(DataSheet sheetMode) {
  return sheetMode == DataSheet::Batch ? layout::BatchSheet : layout::MainSheet;
}

inline int RowOf(std::int64_t sample) {
  if (sample < 1 || sample >= layout::LastSheetRow)
    throw WorkbookError("Batch sample " + std::to_string(sample) +
                        " has no row on the Batch sheet (rows 2 to 1048576 hold samples).");
  return static_cast<int>(sample + 1);
}

} // namespace vontralek
