#pragma once

// Equilibrium constants and the Davies slope at the water's own temperature.
// Temperatures are absolute, in kelvin (T = t / °C + 273.15).

#include <optional>
#include <string_view>

namespace vontralek {

// How a constant depends on temperature: not at all, by the analytic
// expression of its log K, or by van 't Hoff with a constant reaction enthalpy.
enum class TemperatureForm { None, Analytic, VantHoff };

// The temperature data of one constant: the analytic coefficients A1..A6 and
// the reaction enthalpy in kJ/mol (van 't Hoff).
struct TemperatureRecord {
  TemperatureForm Form = TemperatureForm::None;
  double A[7] = {};  // A[1]..A[6]; A[0] unused
  double DeltaH = 0; // kJ/mol
};

// The reference temperature of the tabulated log K: 25 °C.
inline constexpr double ReferenceTemperatureK = 298.15;
// Kelvin of 0 °C.
inline constexpr double ZeroCelsiusK = 273.15;
// The range of water temperatures accepted, in °C.
inline constexpr double MinTemperatureC = 0.0, MaxTemperatureC = 100.0;

// The form's text: "analytic", "van 't Hoff" (also "vanthoff", the data
// file's spelling) or empty = None, letter case and surrounding spaces
// ignored; nothing for any other text (the caller names its cell).
std::optional<TemperatureForm> ParseTemperatureForm(std::string_view text);

// log K at T, anchored at the 25 °C value the user keeps:
//   log K(T) = log K(25 °C) + f(T) - f(298.15 K), summed in that order, with
//   analytic:    f(T) = A1 + A2·T + A3/T + A4·log10(T) + A5/T^2 + A6·T^2,
//   van 't Hoff: f(T) = -ΔH / (ln(10)·R·T), R = 0.0083147 kJ/(mol·K).
// A log K of 0 marks an absent constant and stays 0; with no form it is
// returned unchanged.
double LogKAtTemperature(double logK25, const TemperatureRecord& record, double kelvin);

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
