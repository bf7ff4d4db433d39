#pragma once

// The carbonate system closed from the dissolved inorganic carbon, DIC = CO2 +
// HCO3- + CO3 2- (each with its complexes), and the extra condition of
// equilibrium with calcite. Pieces of the solver, not part of its interface.

#include "model/ModelState.h"

namespace vontralek::speciation_detail {

// The conditional constants of a pass: CO2 solubility, water, carbonic acid.
struct CarbonConstants {
  double KH, Kw, K1, K2;
};

// g(H) = DIC (K1' H + 2 K1' K2') / (H^2 + K1' H + K1' K2') + Kw'/H - H - Alk,
// the alkalinity balance with DIC given, and its slope dg/d(ln H) (negative).
struct AlkalinityBalance {
  double alkalinity, carbon; // eq/L, mol/L
  CarbonConstants k;

  double Value(double H, double& slope) const {
    const double n = k.K1 * H + 2.0 * k.K1 * k.K2;
    const double d = H * H + k.K1 * H + k.K1 * k.K2;
    slope = carbon * H * (k.K1 * d - n * (2.0 * H + k.K1)) / (d * d) - k.Kw / H - H;
    return carbon * n / d + k.Kw / H - H - alkalinity;
  }
};

// [H+] (mol/L), the one root of the balance, by Newton's method (in ln H far
// from the root) inside the bracket pH -2 to 20, from start (mol/L) or, when start is not a
// positive number, from an estimate of the buffer the alkalinity lies in. A
// step below 1e-13 (relative) is not taken, so that a start at the root comes
// back unchanged. Returns 0 when there is no root in the bracket or the
// constants are 0 or out of range; else sets *slopeAtRoot (when given) to
// dg/d(ln H) there.
double HydrogenFromAlkalinityAndCarbon(const AlkalinityBalance& balance, double start = 0.0,
                                       double* slopeAtRoot = nullptr);

// Dissolved calcite D (mol/L) that brings the water of state.Calcite to
// calcite saturation with the activity coefficients of the pass, and [H+]
// there (CalciteEquilibrium.cpp). Throws SampleFailure when there is none.
struct CalciteSolution {
  double dissolved, hydrogen;
};
CalciteSolution SolveCalciteDissolved(const ModelState& state, const CarbonConstants& k);

// Pairs DIC and pH, alkalinity and DIC: sets H+ (row 1), pCO2, HCO3- and CO3
// 2- (rows 10, 11) for one outer pass; with state.Calcite active, first the
// calcite dissolved, calcium (row 5), alkalinity and DIC that meet the
// solubility product. Throws SampleFailure with the reason when the pass has
// no solution (or, testing each step, when the searches faulted).
void CloseFromDissolvedCarbon(ModelState& state, bool checkEachStep);

} // namespace vontralek::speciation_detail
