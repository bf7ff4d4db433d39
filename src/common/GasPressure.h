#pragma once

#include <cmath>
#include <string>

namespace vontralek {

// The one home of the CO2 pressures the equilibrium with a gas accepts: a
// partial pressure in atm is a positive, finite number (10^-3.4 = 0.000398 atm
// for air); 0 would leave no carbon in the water.
inline bool ValidPartialPressure(double atm) { return std::isfinite(atm) && atm > 0.0; }

// The reason a pressure is refused, for the end of a message that shows the
// value: "... -1 atm is " + InvalidPartialPressure().
inline std::string InvalidPartialPressure() {
  return "not a positive number; give the partial pressure of CO2 in atm (air: 0.000398, 10^-3.4)";
}

} // namespace vontralek
