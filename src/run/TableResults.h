#pragma once

#include <cstddef>

#include "model/ModelState.h"
#include "table/Columns.h"

namespace vontralek {

// The results of a solved sample in the order of table::ResultColumnNames()
// without status (ResultColumnCount - 1 values), in the workbook's units; an
// undefined value is NaN.
inline constexpr std::size_t ResultValueCount = table::ResultColumnCount - 1;
void ExtractResults(const ModelState& solved, double* values);

} // namespace vontralek
