#pragma once

// Stiff polygons (Stiff 1951): per sample three rows, cations to the left of
// a vertical zero line and anions to the right, in meq/L on one scale for all
// samples of a figure. Row 0 (top): Na+ + K+ | Cl- + NO3-; row 1: Ca2+ |
// HCO3- + CO3 2-; row 2: Mg2+ | SO4 2-. Here x is meq/L (cations negative)
// and y the row, counted downwards (0, 1, 2).

#include <array>
#include <vector>

#include "diagram/DiagramSample.h"
#include "diagram/Point.h"

namespace vontralek::diagram {

// The polygon, clockwise from the top left: Na+K, Ca, Mg, SO4, HCO3+CO3, Cl+NO3.
std::array<Point, 6> StiffVertices(const DiagramSample& sample);

// The half width of the scale, meq/L: the largest value of the samples
// rounded up to 1, 2 or 5 times a power of ten (1 when all are 0).
double StiffScale(const std::vector<const DiagramSample*>& samples);

} // namespace vontralek::diagram
