#include "speciation/FloatingPointFaults.h"

#include <cstdio>

#include "common/Errors.h"

namespace vontralek::speciation_detail {

void RaiseFault(std::string_view step, std::string_view cause) {
  const int raised = std::fetestexcept(kFaultFlags);
  // A division by zero usually sets off the rest (an infinity that later turns
  // invalid), so it is named first when several flags are up.
  const char* kind = (raised & FE_DIVBYZERO)  ? "division by zero"
                     : (raised & FE_OVERFLOW) ? "overflow"
                                              : "invalid operation";
  std::string message = kind;
  message += " while ";
  message += step;
  if (!cause.empty()) {
    message += ": ";
    message += cause;
  }
  throw ArithmeticFault(message);
}

std::string Num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

} // namespace vontralek::speciation_detail
