#include "speciation/WaterProperties.h"

#include <algorithm>
#include <cmath>

#include "model/TemperatureData.h"

namespace vontralek {
namespace {

constexpr double kPressureAtm = 1.0;   // every sample is taken at 1 atm
constexpr double kBarPerAtm = 1.01325; // bar

// Wagner and Pruss (2002), eq. 2.6: the density of the saturated liquid in
// kg/m3, with θ = 1 - T/Tc.
double SaturatedLiquidDensity(double kelvin) {
  constexpr double Tc = 647.096, rhoC = 322.0; // K, kg/m3: the critical point
  constexpr double b1 = 1.99274064, b2 = 1.09965342, b3 = -0.510839303, b4 = -1.75493479, b5 = -45.5170352,
                   b6 = -6.7469445e5;
  const double th = 1.0 - kelvin / Tc;
  return rhoC * (1.0 + b1 * std::pow(th, 1.0 / 3.0) + b2 * std::pow(th, 2.0 / 3.0) + b3 * std::pow(th, 5.0 / 3.0) +
                 b4 * std::pow(th, 16.0 / 3.0) + b5 * std::pow(th, 43.0 / 3.0) + b6 * std::pow(th, 110.0 / 3.0));
}

} // namespace

double WaterDensity(double kelvin) {
  const double t = kelvin - ZeroCelsiusK; // °C
  // The vapour pressure of water in atm (Antoine form, as PHREEQC has it);
  // the liquid is compressed from there to 1 atm, by P atm above it.
  const double pSat = std::exp(11.6702 - 3816.44 / (kelvin - 46.13));
  const double P = std::max(kPressureAtm, pSat) - pSat + 1e-6;
  const double p0 =
      5.1880000E-02 + t * (-4.1885519E-04 + t * (6.6780748E-06 + t * (-3.6648699E-08 + t * 8.3501912E-11)));
  const double p1 =
      -6.0251348E-06 + t * (3.6696407E-07 + t * (-9.2056269E-09 + t * (6.7024182E-11 + t * -1.5947241E-13)));
  const double p2 =
      -2.2983596E-09 + t * (-4.0133819E-10 + t * (1.2619821E-11 + t * (-9.8952363E-14 + t * 2.3363281E-16)));
  const double p3 =
      7.0517647E-11 + t * (6.8566831E-12 + t * (-2.2829750E-13 + t * (1.8113313E-15 + t * -4.2475324E-18)));
  const double rho = SaturatedLiquidDensity(kelvin) + P * (p0 + P * (p1 + P * (p2 + std::sqrt(P) * p3)));
  return rho / 1000.0; // kg/m3 to g/cm3
}

double WaterDielectricConstant(double kelvin) {
  // ε = ε1000 + C·ln((B + p) / (B + 1000)), p in bar; ε1000 is ε at 1000 bar.
  constexpr double U1 = 3.4279e2, U2 = -5.0866e-3, U3 = 9.4690e-7, U4 = -2.0525, U5 = 3.1159e3, U6 = -1.8289e2,
                   U7 = -8.0325e3, U8 = 4.2142e6, U9 = 2.1417;
  const double T = kelvin;
  const double pBar = kBarPerAtm * kPressureAtm;
  const double eps1000 = U1 * std::exp(T * (U2 + T * U3));
  const double C = U4 + U5 / (U6 + T);
  const double B = U7 + U8 / T + U9 * T;
  return eps1000 + C * std::log((B + pBar) / (B + 1000.0));
}

double DaviesSlope(double kelvin) {
  constexpr double kPi = 3.14159265358979, kAvogadro = 6.02252e23; // PHREEQC's values
  // e²/(ε k T) in cm: the distance at which two unit charges in water have
  // the thermal energy k T.
  const double e2DkT = 1.671008e-3 / (WaterDielectricConstant(kelvin) * kelvin);
  const double debyeB = std::sqrt(8.0 * kPi * kAvogadro * e2DkT * WaterDensity(kelvin) / 1e3); // 1/cm per (mol/kg)^0.5
  return debyeB * e2DkT / (2.0 * std::log(10.0));
}

} // namespace vontralek
