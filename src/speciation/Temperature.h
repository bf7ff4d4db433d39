#pragma once

// Equilibrium constants and the Davies slope at the water's own temperature.
// Temperatures are absolute, in kelvin (T = t / °C + 273.15).

#include "model/TemperatureData.h"

namespace vontralek {

// log K at T, anchored at the 25 °C value the user keeps:
//   log K(T) = log K(25 °C) + (f(T) - f(298.15 K)), with
//   analytic:    f(T) = A1 + A2·T + A3/T + A4·log10(T) + A5/T^2 + A6·T^2,
//   van 't Hoff: f(T) = -ΔH / (ln(10)·R·T), R = 0.0083147 kJ/(mol·K).
// A log K of 0 marks an absent constant and stays 0; with no form it is
// returned unchanged.
double LogKAtTemperature(double logK25, const TemperatureRecord& record, double kelvin);
// f(T) - f(298.15 K) of the record (0 with no form): what LogKAtTemperature
// adds to a log K at 25 °C, for a log K that may be 0 (a phase's).
double LogKShift(const TemperatureRecord& record, double kelvin);

// The relative permittivity of water at 1 atm (1.01325 bar), Bradley and
// Pitzer (1979), J. Phys. Chem. 83, 1599.
double WaterDielectricConstant(double kelvin);
// The density of liquid water at 1 atm in g/cm3, Kell (1975), J. Chem. Eng.
// Data 20, 97 (his equation in t / °C, IPTS-68).
double WaterDensity(double kelvin);
// The Debye-Hückel slope of the Davies equation, (kg/mol)^0.5 taken as
// (L/mol)^0.5: A(T) = 1.824866777e6 · sqrt(ρ) / (ε·T)^1.5; 0.5100 at 25 °C.
double DaviesSlope(double kelvin);

} // namespace vontralek
