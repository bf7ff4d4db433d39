#pragma once

// Bit-for-bit comparison of two model states: every double compared by its
// bits (so -0 differs from +0 and a NaN matches only the same NaN), naming the
// first field that differs.

#include <bit>
#include <cstdint>
#include <string>

#include "model/ModelState.h"

namespace vontralek::testdata {

namespace compare_detail {
inline bool Same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

inline std::string Record(const char* table, int row, const SpeciesRecord& a, const SpeciesRecord& b) {
  const std::string where = std::string(table) + "[" + std::to_string(row) + "].";
  if (!Same(a.TotalConc, b.TotalConc)) return where + "TotalConc";
  if (!Same(a.FreeConc, b.FreeConc)) return where + "FreeConc";
  if (!Same(a.NextFreeConc, b.NextFreeConc)) return where + "NextFreeConc";
  if (!Same(a.Charge, b.Charge)) return where + "Charge";
  if (!Same(a.Gamma, b.Gamma)) return where + "Gamma";
  if (!Same(a.LogActivity, b.LogActivity)) return where + "LogActivity";
  if (!Same(a.SumWeight, b.SumWeight)) return where + "SumWeight";
  if (!Same(a.PercentChange, b.PercentChange)) return where + "PercentChange";
  if (a.LogActivityDefined != b.LogActivityDefined) return where + "LogActivityDefined";
  return "";
}
} // namespace compare_detail

// Empty when the states are bit-identical, else the first differing field.
inline std::string FirstDifference(const ModelState& a, const ModelState& b) {
  using compare_detail::Record;
  using compare_detail::Same;
  for (int n = 1; n <= 12; ++n)
    if (auto d = Record("SpeciesTable", n, a.SpeciesTable[n], b.SpeciesTable[n]); !d.empty()) return d;
  for (int n = 1; n <= 24; ++n)
    if (auto d = Record("ComplexTable", n, a.ComplexTable[n], b.ComplexTable[n]); !d.empty()) return d;
  for (int n = 1; n <= 30; ++n) {
    const auto &x = a.ConstantTable[n], &y = b.ConstantTable[n];
    if (!Same(x.LogK, y.LogK) || !Same(x.K, y.K) || !Same(x.ConditionalK, y.ConditionalK))
      return "ConstantTable[" + std::to_string(n) + "]";
  }
  for (int n = 1; n <= 13; ++n)
    if (!Same(a.AuxTable[n].WeightedSum, b.AuxTable[n].WeightedSum) ||
        !Same(a.AuxTable[n].SumScale, b.AuxTable[n].SumScale))
      return "AuxTable[" + std::to_string(n) + "]";
  for (int n = 1; n <= 4; ++n)
    if (a.IterationCounters[n] != b.IterationCounters[n]) return "IterationCounters[" + std::to_string(n) + "]";
  const double ModelState::*scalars[] = {&ModelState::PH,
                                         &ModelState::PCO2,
                                         &ModelState::Alkalinity,
                                         &ModelState::IonicStrength,
                                         &ModelState::NewIonicStrength,
                                         &ModelState::InitialIonicStrength,
                                         &ModelState::IonicStrengthChange,
                                         &ModelState::FreeHydroxide,
                                         &ModelState::MachineEpsilon,
                                         &ModelState::LogIapCaCO3,
                                         &ModelState::LogIapCaSO4,
                                         &ModelState::Sar,
                                         &ModelState::SarActivity};
  const char* names[] = {"PH",
                         "PCO2",
                         "Alkalinity",
                         "IonicStrength",
                         "NewIonicStrength",
                         "InitialIonicStrength",
                         "IonicStrengthChange",
                         "FreeHydroxide",
                         "MachineEpsilon",
                         "LogIapCaCO3",
                         "LogIapCaSO4",
                         "Sar",
                         "SarActivity"};
  for (std::size_t i = 0; i < std::size(scalars); ++i)
    if (!Same(a.*scalars[i], b.*scalars[i])) return names[i];
  if (a.LogIapCaCO3Defined != b.LogIapCaCO3Defined) return "LogIapCaCO3Defined";
  if (a.LogIapCaSO4Defined != b.LogIapCaSO4Defined) return "LogIapCaSO4Defined";
  if (a.InputPair != b.InputPair || a.SheetMode != b.SheetMode) return "codes";
  return "";
}

} // namespace vontralek::testdata
