#pragma once

// Equilibrium constants and the Davies slope at the water's own temperature.
// Temperatures are absolute, in kelvin (T = t / °C + 273.15).

#include "model/TemperatureData.h"
#include "speciation/WaterProperties.h" // the Davies slope at T

namespace vontralek {

// log K at T, anchored at the 25 °C value the user keeps:
//   log K(T) = log K(25 °C) + (f(T) - f(298.15 K)), with
//   analytic:    f(T) = A1 + A2·T + A3/T + A4·log10(T) + A5/T^2 + A6·T^2,
//   van 't Hoff: f(T) = -ΔH / (ln(10)·R·T), R = 0.0083147 kJ/(mol·K)
//                (CODATA 2018: 8.314462618 J/(mol·K), rounded).
// A log K of 0 marks an absent constant and stays 0; with no form it is
// returned unchanged.
double LogKAtTemperature(double logK25, const TemperatureRecord& record, double kelvin);

} // namespace vontralek
