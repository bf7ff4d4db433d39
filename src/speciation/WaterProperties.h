#pragma once

// Properties of pure liquid water at 1 atm behind the Debye-Hückel slope of the
// Davies equation, from the published equations PHREEQC (3.8) uses, with its
// constants, so that the slope agrees with PHREEQC's to about 1e-7 from 0 to
// 100 °C. Temperatures are absolute, in kelvin (T = t / °C + 273.15).

namespace vontralek {

// The density of liquid water at 1 atm, g/cm3: the saturated-liquid density
// of Wagner and Pruss (2002), J. Phys. Chem. Ref. Data 31, 387, eq. 2.6,
// corrected from the saturation pressure to 1 atm by PHREEQC's polynomial in
// t (water activity 1 in the saturation pressure). 0.997045 at 25 °C.
double WaterDensity(double kelvin);

// The relative permittivity of water at 1 atm (1.01325 bar), Bradley and
// Pitzer (1979), J. Phys. Chem. 83, 1599. 78.384 at 25 °C.
double WaterDielectricConstant(double kelvin);

// The Debye-Hückel slope A of the Davies equation, (kg/mol)^0.5 taken as
// (L/mol)^0.5, from the two above:
//   e²/(ε k T) = 1.671008e-3 / (ε T)   (cm),
//   B = sqrt(8 π N_A e²/(ε k T) ρ / 1000),  A = B e²/(ε k T) / (2 ln 10),
// with N_A = 6.02252e23 /mol and π = 3.14159265358979 as PHREEQC takes them.
// 0.51002 at 25 °C.
double DaviesSlope(double kelvin);

} // namespace vontralek
