#include "diagram/StiffGeometry.h"

#include <algorithm>
#include <cmath>

namespace vontralek::diagram {

std::array<Point, 6> StiffVertices(const DiagramSample& s) {
  const double alkalinity = std::max(0.0, s.alkalinity);
  return {{{-(s.na + s.k), 0}, {-s.ca, 1}, {-s.mg, 2}, {s.so4, 2}, {alkalinity, 1}, {s.cl + s.no3, 0}}};
}

double StiffScale(const std::vector<const DiagramSample*>& samples) {
  double largest = 0;
  for (const DiagramSample* s : samples)
    for (const Point& p : StiffVertices(*s)) largest = std::max(largest, std::fabs(p.x));
  if (largest <= 0) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(largest)));
  for (const double step : {1.0, 2.0, 5.0, 10.0})
    if (largest <= step * power) return step * power;
  return 10.0 * power;
}

} // namespace vontralek::diagram
