#include "speciation/Temperature.h"

#include <cmath>
#include <numbers>

namespace vontralek {
namespace {

// The molar gas constant, kJ/(mol·K): CODATA 2018 R = 8.314462618 J/(mol·K), rounded
// to five figures as WATEQ4F and PHREEQC take it.
constexpr double kGasConstant = 0.0083147;

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
  return logK25 + (F(record, kelvin) - F(record, ReferenceTemperatureK));
}

} // namespace vontralek
