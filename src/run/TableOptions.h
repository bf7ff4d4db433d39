#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "model/RunSettings.h"
#include "run/TableProgress.h"
#include "table/Columns.h"
#include "table/Csv.h"

namespace vontralek {

class SampleCollector; // run/SampleCollector.h

// The most worker threads a table run takes (--threads, Python's threads).
inline constexpr int kMostThreads = 9999;

struct TableOptions {
  // model, belowLimit, onFailure are used; temperature Fixed gives every row
  // temperatureC (°C) whatever its temperature_C column holds. No stored file
  // chooses a table's model: it is the ion-association model unless asked.
  RunSettings settings = [] {
    RunSettings s;
    s.model = SpeciationModel::IonAssociation;
    return s;
  }();
  std::optional<table::PairColumns> pair;         // none: from the columns present
  int threads = 0;                                // 0: all cores, else 1 to kMostThreads
  std::optional<std::filesystem::path> constants; // worksheets 3 and 4 of this workbook; none: shipped
  std::optional<table::CsvFormat> inputFormat;    // none: from the header line
  std::optional<table::CsvFormat> outputFormat;   // none: the input's
  // Text fields passed through as they are; otherwise one that a spreadsheet
  // program would run as a formula gets a leading apostrophe (table/TextSafety.h).
  bool rawText = false;
  TableProgressListener* progress = nullptr; // told of every row written (CSV only)
  SampleCollector* collector = nullptr;      // when set, gets every row written (its major ions)
};

// "as specified" (also "specified") or "ion association", in any letter case,
// with spaces, hyphens or underscores between the words (common/Words.h).
// Throws TableError otherwise. ModelText gives the same words back.
SpeciationModel ParseModel(std::string_view text);
std::string_view ModelText(SpeciationModel model);

} // namespace vontralek
