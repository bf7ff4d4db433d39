#pragma once

#include <chrono>

namespace vontralek {

// Seconds since a point in time, for the run's open/read/solve/write/save figures.
using RunClock = std::chrono::steady_clock;

inline double SecondsSince(RunClock::time_point start) {
  return std::chrono::duration<double>(RunClock::now() - start).count();
}

} // namespace vontralek
