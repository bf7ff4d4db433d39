// Equilibrium with calcite in a closed system, the extra condition a solve
// takes in each outer pass. Calcite dissolving (D > 0, mol/L) or deposited
// (D < 0) changes the water as CaCO3 = Ca2+ + CO3 2-: calcium and DIC rise by
// D, the alkalinity by 2 D. With the activity coefficients of the pass, the
// condition IAP = Ksp reads
//   g(Ca) phi (Ca0 + D) x g'(CO3) C(D) = Ksp,
// phi being the free fraction of calcium in the last pass, g'(CO3) the
// coefficient of CO3 2- referred to its total (Part of K2'), and C(D) =
// DIC alpha2(H) the carbonate total of the water with alkalinity Alk0 + 2 D and
// DIC0 + D, alpha2 = K1' K2' / (H^2 + K1' H + K1' K2'). In logarithms,
//   f(D) = ln(Ca0 + D) + ln C(D) - ln(Ksp / (g(Ca) phi g'(CO3))),
// which rises with D from -inf at D = -min(Ca0, DIC0) (the calcium or the
// carbon is used up) to +inf: one root. Newton's method with the exact slope
// finds it from the last pass's D in two or three steps (a step below 1e-14 of
// the water's calcium and carbon is not taken, so that a pass repeated with
// the same inputs gives the same D); if it fails, regula falsi (Illinois)
// inside a bracket searched from D = 0.

#include <cmath>
#include <limits>
#include <string>

#include "common/Errors.h"
#include "speciation/DissolvedCarbon.h"
#include "speciation/FloatingPointFaults.h"

namespace vontralek::speciation_detail {

namespace {

struct Point {
  bool ok = false;
  double f = 0.0, slope = 0.0, hydrogen = 0.0;
};

class CalciteFunction {
public:
  CalciteFunction(const CalciteCondition& water, const CarbonConstants& k, double lnTarget)
      : w_(water), k_(k), lnTarget_(lnTarget) {}

  // f(D) and df/dD, H+ searched from start.
  Point At(double D, double start) const {
    Point p;
    const double calcium = w_.calcium + D, carbon = w_.carbon + D;
    if (!(calcium > 0.0) || !(carbon > 0.0)) return p;
    const AlkalinityBalance balance{w_.alkalinity + 2.0 * D, carbon, k_};
    double balanceSlope = 0.0; // dg/d(ln H)
    const double H = HydrogenFromAlkalinityAndCarbon(balance, start, &balanceSlope);
    if (H == 0.0) return p;
    const double d = H * H + k_.K1 * H + k_.K1 * k_.K2;
    const double protonsGiven = (k_.K1 * H + 2.0 * k_.K1 * k_.K2) / d; // dg/dDIC
    // dg/dD = protonsGiven - 2 (DIC and alkalinity rise together).
    const double lnHPerD = -(protonsGiven - 2.0) / balanceSlope;
    const double lnAlpha2PerLnH = -(2.0 * H * H + k_.K1 * H) / d;
    p.f = std::log(calcium) + std::log(carbon * (k_.K1 * k_.K2) / d) - lnTarget_;
    p.slope = 1.0 / calcium + 1.0 / carbon + lnAlpha2PerLnH * lnHPerD;
    p.hydrogen = H;
    p.ok = std::isfinite(p.f) && std::isfinite(p.slope);
    return p;
  }

private:
  const CalciteCondition& w_;
  CarbonConstants k_;
  double lnTarget_;
};

SampleFailure NoEquilibrium(const CalciteCondition& w) {
  return SampleFailure("no calcite equilibrium found for calcium " + Num(w.calcium * 1000.0) + " mmol/L, DIC " +
                       Num(w.carbon * 1000.0) + " mmol/L and alkalinity " + Num(w.alkalinity * 1000.0) +
                       " meq/L: the calcium or the carbon runs out before the water reaches calcite saturation, or "
                       "the ion activity product cannot reach the solubility product; check the sample");
}

// Newton from D0 (H+ from H0); false when it leaves the water's range or does
// not settle.
bool Newton(const CalciteFunction& f, double D0, double H0, double lowest, double tolerance, CalciteSolution& out) {
  double D = D0, H = H0;
  for (int iteration = 0; iteration < 30; ++iteration) {
    const Point p = f.At(D, H);
    if (!p.ok || !(p.slope > 0.0)) return false;
    H = p.hydrogen;
    double next = D - p.f / p.slope;
    if (!(next > lowest)) next = 0.5 * (D + lowest); // f is -inf at lowest: stay inside
    if (std::fabs(next - D) <= tolerance) {
      out = {D, H};
      return true;
    }
    D = next;
  }
  return false;
}

// Regula falsi (Illinois) inside a bracket searched from D = 0.
CalciteSolution Bracketed(const CalciteFunction& f, const CalciteCondition& w, double lowest, double tolerance) {
  const double step = 1e-5; // mol/L, the first step of the search for a bracket
  double a = 0.0, b = 0.0;
  Point pa, pb;
  const Point at0 = lowest < 0.0 ? f.At(0.0, 0.0) : Point{};
  if (at0.ok && at0.f == 0.0) return {0.0, at0.hydrogen};
  if (!at0.ok || at0.f < 0.0) { // the root lies above 0
    pa = at0;
    for (b = step; !(pb = f.At(b, 0.0)).ok || pb.f < 0.0; b *= 4.0) {
      if (b > 1e3) throw NoEquilibrium(w);
      if (pb.ok) a = b, pa = pb;
    }
    for (int k = 1; !pa.ok || pa.f >= 0.0; ++k) { // no calcium or no carbon: approach 0 from above
      if (k > 60) throw NoEquilibrium(w);
      pa = f.At(a = b * std::pow(0.25, k), 0.0);
    }
  } else {
    b = 0.0, pb = at0;
    a = -step;
    for (int k = 1;; ++k) {
      if (!(a > lowest)) a = lowest * (1.0 - std::pow(0.25, k));
      pa = f.At(a, 0.0);
      if (k > 80) throw NoEquilibrium(w);
      if (pa.ok && pa.f < 0.0) break;
      if (pa.ok) b = a, pb = pa;
      a *= 4.0;
    }
  }
  double fa = pa.f, fb = pb.f;
  Point pc = pa;
  double c = a;
  for (int iteration = 0, side = 0; iteration < 300; ++iteration) {
    c = (a * fb - b * fa) / (fb - fa);
    if (!(c > a && c < b)) c = 0.5 * (a + b);
    pc = f.At(c, 0.0);
    if (!pc.ok) throw NoEquilibrium(w);
    if (pc.f == 0.0 || b - a <= tolerance) break;
    if (pc.f < 0.0) {
      a = c, fa = pc.f;
      if (side == -1) fb *= 0.5;
      side = -1;
    } else {
      b = c, fb = pc.f;
      if (side == 1) fa *= 0.5;
      side = 1;
    }
  }
  return {c, pc.hydrogen};
}

} // namespace

CalciteSolution SolveCalciteDissolved(const ModelState& state, const CarbonConstants& k) {
  const auto& S = state.SpeciesTable;
  const CalciteCondition& w = state.Calcite;
  const ConstantRecord& ksp = state.ConstantTable[constant::CalciteSolubility];
  if (ksp.LogK == 0.0 || !(ksp.K > 0.0) || !std::isfinite(ksp.K))
    throw SampleFailure("equilibrium with calcite needs the calcium carbonate solubility product (equilibrium "
                        "constant 5), which is absent or out of range; enter it in worksheet 3");
  const SpeciesRecord& calcium = S[species::Calcium];
  const double freeFraction =
      calcium.TotalConc != 0.0 && calcium.FreeConc != 0.0 ? calcium.FreeConc / calcium.TotalConc : 1.0;
  const double lnTarget = std::log(ksp.K / (calcium.Gamma * freeFraction * S[species::Carbonate].Gamma));
  if (!std::isfinite(lnTarget))
    throw SampleFailure("the activity coefficients of calcium and carbonate are 0 or out of range, so no calcite "
                        "equilibrium can be formed; check the sample's concentrations");
  if (!(w.calcium >= 0.0) || !(w.carbon >= 0.0)) throw NoEquilibrium(w);
  const CalciteFunction f(w, k, lnTarget);
  const double lowest = -std::fmin(w.calcium, w.carbon);
  const double tolerance = 1e-12 * (w.calcium + w.carbon);
  CalciteSolution solution{};
  const double H0 = S[species::Hydrogen].TotalConc;
  if (Newton(f, w.dissolved > lowest ? w.dissolved : 0.5 * lowest, std::isfinite(H0) && H0 > 0.0 ? H0 : 0.0, lowest,
             tolerance, solution))
    return solution;
  return Bracketed(f, w, lowest, tolerance);
}

} // namespace vontralek::speciation_detail
