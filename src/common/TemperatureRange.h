#pragma once

#include <string>

namespace vontralek {

// The one home of the temperatures the program accepts. The model's data
// (log K temperature fits, the Davies slope from the water's permittivity and
// density) describe liquid water at 1 atm: 0 to 100 °C. Every layer that
// reads a temperature (settings, the sample cells, table rows, the solver)
// checks it here and says the same thing when it is outside.
inline constexpr double kLowestWaterC = 0.0, kHighestWaterC = 100.0;

// Whether celsius (°C) lies within 0 to 100 °C, ends included; NaN does not.
constexpr bool InWaterRange(double celsius) { return celsius >= kLowestWaterC && celsius <= kHighestWaterC; }

// The reason a temperature outside the range is refused, for the end of a
// message that shows the value: "... 150 °C is " + OutsideWaterRange().
inline std::string OutsideWaterRange() {
  return "outside 0 to 100 °C, the range of liquid water that the temperature data cover";
}

} // namespace vontralek
