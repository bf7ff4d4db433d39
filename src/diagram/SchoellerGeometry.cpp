#include "diagram/SchoellerGeometry.h"

#include <algorithm>
#include <cmath>

namespace vontralek::diagram {

std::array<std::optional<Point>, 6> SchoellerPoints(const DiagramSample& s) {
  const double values[6] = {s.ca, s.mg, s.na + s.k, s.cl + s.no3, s.so4, s.alkalinity};
  std::array<std::optional<Point>, 6> points;
  for (int i = 0; i < 6; ++i)
    if (values[i] > 0) points[static_cast<std::size_t>(i)] = Point{static_cast<double>(i), std::log10(values[i])};
  return points;
}

Decades SchoellerDecades(const std::vector<const DiagramSample*>& samples) {
  double low = HUGE_VAL, high = -HUGE_VAL;
  for (const DiagramSample* s : samples)
    for (const auto& p : SchoellerPoints(*s))
      if (p) {
        low = std::min(low, p->y);
        high = std::max(high, p->y);
      }
  if (low > high) return {};
  Decades d{static_cast<int>(std::floor(low)), static_cast<int>(std::ceil(high))};
  if (d.high <= d.low) d.high = d.low + 1;
  return d;
}

} // namespace vontralek::diagram
