#include "speciation/Temperature.h"

#include <cmath>
#include <numbers>

namespace vontralek {
namespace {

constexpr double kGasConstant = 0.0083147; // kJ/(mol·K)

double F(const TemperatureRecord& r, double T) {
  if (r.Form == TemperatureForm::Analytic)
    return r.A[1] + r.A[2] * T + r.A[3] / T + r.A[4] * std::log10(T) + r.A[5] / (T * T) + r.A[6] * (T * T);
  return -r.DeltaH / (std::numbers::ln10 * kGasConstant * T);
}

} // namespace

double LogKAtTemperature(double logK25, const TemperatureRecord& record, double kelvin) {
  if (logK25 == 0 || record.Form == TemperatureForm::None) return logK25;
  // The difference first: at 25 °C it is 0 and the user's log K comes back
  // to the bit.
  return logK25 + LogKShift(record, kelvin);
}

double LogKShift(const TemperatureRecord& record, double kelvin) {
  if (record.Form == TemperatureForm::None) return 0.0;
  return F(record, kelvin) - F(record, ReferenceTemperatureK);
}

double WaterDielectricConstant(double kelvin) {
  // ε = ε1000 + C·ln((B + P) / (B + 1000)), P in bar; ε1000 is ε at 1000 bar.
  constexpr double U1 = 3.4279e2, U2 = -5.0866e-3, U3 = 9.4690e-7, U4 = -2.0525, U5 = 3.1159e3, U6 = -1.8289e2,
                   U7 = -8.0325e3, U8 = 4.2142e6, U9 = 2.1417, P = 1.01325;
  const double T = kelvin;
  const double eps1000 = U1 * std::exp(U2 * T + U3 * (T * T));
  const double C = U4 + U5 / (U6 + T);
  const double B = U7 + U8 / T + U9 * T;
  return eps1000 + C * std::log((B + P) / (B + 1000));
}

double WaterDensity(double kelvin) {
  const double t = kelvin - ZeroCelsiusK; // °C
  const double numerator = 999.83952 + 16.945176 * t - 7.9870401e-3 * (t * t) - 46.170461e-6 * (t * t * t) +
                           105.56302e-9 * (t * t * t * t) - 280.54253e-12 * (t * t * t * t * t);
  return numerator / (1 + 16.879850e-3 * t) / 1000; // kg/m3 to g/cm3
}

double DaviesSlope(double kelvin) {
  return 1.824866777e6 * std::sqrt(WaterDensity(kelvin)) / std::pow(WaterDielectricConstant(kelvin) * kelvin, 1.5);
}

} // namespace vontralek
