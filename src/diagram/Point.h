#pragma once

namespace vontralek::diagram {

// A point in a diagram's own units, y upwards (the drawing turns it into pixels).
struct Point {
  double x = 0, y = 0;
};

} // namespace vontralek::diagram
