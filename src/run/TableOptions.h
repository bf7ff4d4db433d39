#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "model/RunSettings.h"
#include "table/Columns.h"

namespace vontralek {

struct TableOptions {
  // model, belowLimit, onFailure are used; temperature Fixed gives every row
  // temperatureC (°C) whatever its temperature_C column holds.
  RunSettings settings;
  std::optional<table::PairColumns> pair;         // none: from the columns present
  int threads = 0;                                // 0: all cores
  std::optional<std::filesystem::path> constants; // worksheets 3 and 4 of this workbook; none: shipped
};

// "specified" (also "as specified") or "ion-association" (also "ion
// association"); letter case does not matter. Throws TableError otherwise.
SpeciationModel ParseModel(std::string_view text);
std::string_view ModelText(SpeciationModel model);

} // namespace vontralek
