#pragma once

// Floating-point fault detection for the chemistry. Every checked computation
// starts with the status flags cleared; the flags are sticky, so testing them
// after a step tells whether that step (and nothing before it) divided by
// zero, overflowed or performed an invalid operation. Underflow and inexact
// results are ordinary and never a fault.

#include <cfenv>
#include <string>
#include <string_view>

namespace vontralek::speciation_detail {

inline constexpr int kFaultFlags = FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID;

inline bool FaultRaised() { return std::fetestexcept(kFaultFlags) != 0; }

// Throws ArithmeticFault "<kind of fault> while <step>: <cause>", the kind
// read from the raised flags.
[[noreturn]] void RaiseFault(std::string_view step, std::string_view cause);

// What a fault message says: the step that faulted and its cause.
struct StepAndCause {
  std::string step, cause;
};

// Tests the status flags after a step, when enabled (a constant in the fast
// path, which tests once per pass instead); on a fault, throws with the step
// and cause that describe() returns. The words are built only then.
template <typename Describe> inline void CheckStep(bool enabled, Describe&& describe) {
  if (enabled && FaultRaised()) [[unlikely]] {
    const StepAndCause words = describe();
    RaiseFault(words.step, words.cause);
  }
}

// A number as the messages show it (6 significant digits).
std::string Num(double value);

// Saves the caller's status flags and clears them for a checked computation;
// the caller's flags come back when the computation ends, by return or throw.
class FaultScope {
public:
  FaultScope() {
    std::fegetexceptflag(&saved_, FE_ALL_EXCEPT);
    std::feclearexcept(FE_ALL_EXCEPT);
  }
  ~FaultScope() { std::fesetexceptflag(&saved_, FE_ALL_EXCEPT); }
  FaultScope(const FaultScope&) = delete;
  FaultScope& operator=(const FaultScope&) = delete;

private:
  std::fexcept_t saved_{};
};

} // namespace vontralek::speciation_detail
