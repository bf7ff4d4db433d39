#include "speciation/EquilibriumConstants.h"

#include <array>
#include <cmath>
#include <cstring>

#include "common/Errors.h"
#include "common/TemperatureRange.h"
#include "speciation/ActivityCoefficients.h"
#include "speciation/FloatingPointFaults.h"
#include "speciation/SolverMessages.h"
#include "speciation/Temperature.h"

namespace vontralek::speciation_detail {

namespace {

// Whether the memo's powers were taken from these LogK values at this
// temperature with these temperature data, all to the bit.
bool MemoHolds(const ModelState& state, const std::array<double, constant::Count>& logK) {
  const SolverMemo& memo = state.Memo;
  if (!memo.constantsValid || memo.temperatureGiven != state.TemperatureGiven ||
      std::memcmp(logK.data(), memo.logK.data(), sizeof logK) != 0)
    return false;
  if (!state.TemperatureGiven) return true;
  if (std::memcmp(&memo.temperatureC, &state.TemperatureC, sizeof(double)) != 0) return false;
  for (int n : constant::All)
    if (!SameBits(memo.temperatureTable[n], state.TemperatureTable[n])) return false;
  return true;
}

} // namespace

void RequirePlausibleTemperature(const ModelState& state) {
  if (!state.TemperatureGiven) [[likely]]
    return;
  const double t = state.TemperatureC;
  if (!InWaterRange(t)) [[unlikely]]
    throw SampleFailure("the temperature " + Num(t) + " °C is " + OutsideWaterRange() +
                        "; give the water's temperature in °C");
}

double ComputeEquilibriumConstants(ModelState& state) {
  auto& C = state.ConstantTable;
  SolverMemo& memo = state.Memo;
  std::array<double, constant::Count> logK;
  for (int n : constant::All) logK[n - 1] = C[n].LogK;
  if (MemoHolds(state, logK)) {
    for (int n : constant::All) C[n].K = memo.k[n - 1], C[n].SampleLogK = memo.sampleLogK[n - 1];
    return memo.daviesA;
  }
  memo.constantsValid = false;
  const bool atTemperature = state.TemperatureGiven;
  const double kelvin = state.TemperatureC + ZeroCelsiusK;
  const double daviesA = atTemperature ? DaviesSlope(kelvin) : activity::kDaviesA25C;
  for (int n : constant::All) {
    C[n].SampleLogK = atTemperature ? LogKAtTemperature(C[n].LogK, state.TemperatureTable[n], kelvin) : C[n].LogK;
    C[n].K = C[n].LogK != 0.0 ? std::pow(10.0, C[n].SampleLogK) : 0.0;
    CheckStep(true, [&] {
      if (atTemperature)
        return StepAndCause{"computing the equilibrium constants at " + Num(state.TemperatureC) + " °C",
                            "log K " + Num(C[n].SampleLogK) + " of " + ConstantName(n) + " (equilibrium constant " +
                                std::to_string(n) + ") at that temperature, from LogK " + Num(C[n].LogK) +
                                " and its temperature data, is beyond the range of a double; correct its "
                                "temperature data in worksheet 3"};
      return StepAndCause{"computing the equilibrium constants K = 10^LogK",
                          "LogK " + Num(C[n].LogK) + " of " + ConstantName(n) + " (equilibrium constant " +
                              std::to_string(n) +
                              ") is beyond the range of a double (about -308 to 308); correct it in worksheet 3"};
    });
  }
  for (int n : constant::All) memo.k[n - 1] = C[n].K, memo.sampleLogK[n - 1] = C[n].SampleLogK;
  memo.logK = logK;
  memo.temperatureGiven = atTemperature;
  memo.temperatureC = state.TemperatureC;
  memo.temperatureTable = state.TemperatureTable;
  memo.daviesA = daviesA;
  memo.constantsValid = true;
  return daviesA;
}

} // namespace vontralek::speciation_detail
