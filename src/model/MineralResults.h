#pragma once

// The mineral and water-quality results of one solved sample, as the reports
// write them: the saturation index of each phase of the table, in table order,
// and the ten water-quality values, each with whether it exists.

#include <array>
#include <vector>

namespace vontralek {

struct ResultValue {
  double value = 0.0;
  bool defined = false; // false: written "nd" (a sheet) or left empty (a table)
};

// The water-quality values in the order of their columns.
inline constexpr int WaterQualityCount = 10;
namespace water_quality {
inline constexpr int Hardness = 0, HardnessAsCaCO3 = 1, HardnessGerman = 2, CarbonateHardness = 3, DissolvedSolids = 4,
                     LarsonSkold = 5, Lsi = 6, Rsi = 7, Psi = 8, LogWaterActivity = 9;
}

struct MineralResults {
  std::vector<ResultValue> saturationIndices; // one per phase of the table
  std::array<ResultValue, WaterQualityCount> waterQuality{};
};

} // namespace vontralek
