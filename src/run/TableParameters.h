#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "labdata/MolarMasses.h"
#include "model/ModelState.h"

namespace vontralek {

// The parameters of a run: the state after loading the 30 log K, the charges
// and weights (the shipped ones, or a workbook's worksheets 3 and 4), the
// constants' temperature data (the shipped ones, or the block of that
// workbook's worksheet 3 when it has one), the molar masses for mg/L, and
// where they came from.
struct TableParameters {
  ModelState start;
  labdata::MolarMasses masses;
  std::string constantsSource; // "shipped defaults" or the workbook's path
  std::string digest;          // SHA-256 (hex) of the log K, charges and weights
  bool temperatureData = false;
};
TableParameters LoadTableParameters(const std::optional<std::filesystem::path>& constants);

} // namespace vontralek
