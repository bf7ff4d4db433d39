#pragma once

// The Schoeller diagram: the ions along x at 0 to 5 (Ca2+, Mg2+, Na+ + K+,
// Cl- + NO3-, SO4 2-, HCO3- + CO3 2-), log10 of meq/L along y, one line per
// sample. An ion of 0 meq/L has no point on the logarithmic axis: the line
// is broken there.

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "diagram/DiagramSample.h"
#include "diagram/Point.h"

namespace vontralek::diagram {

inline constexpr std::array<std::string_view, 6> kSchoellerIons = {"Ca²⁺",       "Mg²⁺",  "Na⁺ + K⁺",
                                                                   "Cl⁻ + NO₃⁻", "SO₄²⁻", "HCO₃⁻ + CO₃²⁻"};

std::array<std::optional<Point>, 6> SchoellerPoints(const DiagramSample& sample);

// The decades the y axis spans: from floor(log10) of the smallest positive
// value to ceil(log10) of the largest, at least one decade (0 to 1 without
// any positive value).
struct Decades {
  int low = 0, high = 1;
};
Decades SchoellerDecades(const std::vector<const DiagramSample*>& samples);

} // namespace vontralek::diagram
