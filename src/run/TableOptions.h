#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "model/RunSettings.h"
#include "table/Columns.h"
#include "table/Csv.h"

namespace vontralek {

class SampleCollector; // run/SampleCollector.h

// The most worker threads a table run takes (--threads, Python's threads).
inline constexpr int kMostThreads = 9999;

struct TableOptions {
  // model, belowLimit, onFailure are used; temperature Fixed gives every row
  // temperatureC (°C) whatever its temperature_C column holds.
  RunSettings settings;
  std::optional<table::PairColumns> pair;         // none: from the columns present
  int threads = 0;                                // 0: all cores, else 1 to kMostThreads
  std::optional<std::filesystem::path> constants; // worksheets 3 and 4 of this workbook; none: shipped
  std::optional<table::CsvFormat> inputFormat;    // none: from the header line
  std::optional<table::CsvFormat> outputFormat;   // none: the input's
  SampleCollector* collector = nullptr;           // when set, gets every row written (its major ions)
};

// "specified" (also "as specified") or "ion-association" (also "ion
// association"); letter case does not matter. Throws TableError otherwise.
SpeciationModel ParseModel(std::string_view text);
std::string_view ModelText(SpeciationModel model);

} // namespace vontralek
