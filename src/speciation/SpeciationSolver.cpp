// The speciation of one sample: a fixed-point iteration on the ionic strength
// (outer passes) around the mass balances of the four cations and five ligands
// with their 24 complexes (inner passes), then the derived final quantities.
//
// Results are exactly those of the plain step-by-step procedure; work whose
// result would be bit-identical is not repeated:
// - an activity coefficient depends only on the ionic strength, |z| (z enters
//   only squared) and, for neutral entries, on the table and the row rule, so
//   the 36 entries share a handful of evaluations per outer pass;
// - K = 10^LogK is kept from one solve to the next while the LogK values are
//   the same to the bit.
// Nothing is allocated while solving.

#include <array>
#include <cmath>
#include <cstring>

#include "speciation/FloatingPointFaults.h"
#include "speciation/Speciation.h"
#include "speciation/SpeciationDetail.h"

namespace vontralek {

namespace speciation_detail {

SolverSnapshot::SolverSnapshot(const ModelState& s)
    : species_(s.SpeciesTable), complexes_(s.ComplexTable), constants_(s.ConstantTable), aux_(s.AuxTable),
      counters_(s.IterationCounters), pH_(s.PH), pCO2_(s.PCO2), ionicStrength_(s.IonicStrength),
      newIonicStrength_(s.NewIonicStrength), initialIonicStrength_(s.InitialIonicStrength),
      ionicStrengthChange_(s.IonicStrengthChange), freeHydroxide_(s.FreeHydroxide), logIapCaCO3_(s.LogIapCaCO3),
      logIapCaSO4_(s.LogIapCaSO4), sar_(s.Sar), sarActivity_(s.SarActivity), logIapCaCO3Defined_(s.LogIapCaCO3Defined),
      logIapCaSO4Defined_(s.LogIapCaSO4Defined) {}

void SolverSnapshot::Restore(ModelState& s) const {
  s.SpeciesTable = species_;
  s.ComplexTable = complexes_;
  s.ConstantTable = constants_;
  s.AuxTable = aux_;
  s.IterationCounters = counters_;
  s.PH = pH_;
  s.PCO2 = pCO2_;
  s.IonicStrength = ionicStrength_;
  s.NewIonicStrength = newIonicStrength_;
  s.InitialIonicStrength = initialIonicStrength_;
  s.IonicStrengthChange = ionicStrengthChange_;
  s.FreeHydroxide = freeHydroxide_;
  s.LogIapCaCO3 = logIapCaCO3_;
  s.LogIapCaSO4 = logIapCaSO4_;
  s.Sar = sar_;
  s.SarActivity = sarActivity_;
  s.LogIapCaCO3Defined = logIapCaCO3Defined_;
  s.LogIapCaSO4Defined = logIapCaSO4Defined_;
}

namespace {

constexpr int kConstantRows = 30;

std::string ConstantName(int row) {
  static const char* const names[7] = {"",
                                       "the CO2 solubility constant",
                                       "the ion product of water",
                                       "the first dissociation constant of carbonic acid",
                                       "the second dissociation constant of carbonic acid",
                                       "the calcium carbonate solubility product",
                                       "the calcium sulfate solubility product"};
  if (row <= 6) return names[row];
  return "the formation constant of complex row " + std::to_string(row - 6);
}

// K(n) = 10^LogK(n), or exactly 0 for an absent constant. The powers of the
// last successful computation are reused while the 30 LogK values are the same
// to the bit.
void ComputeEquilibriumConstants(ModelState& state) {
  auto& C = state.ConstantTable;
  SolverMemo& memo = state.Memo;
  std::array<double, kConstantRows> logK;
  for (int n = 1; n <= kConstantRows; ++n) logK[n - 1] = C[n].LogK;
  if (memo.constantsValid && std::memcmp(logK.data(), memo.logK.data(), sizeof logK) == 0) {
    for (int n = 1; n <= kConstantRows; ++n) C[n].K = memo.k[n - 1];
    return;
  }
  memo.constantsValid = false;
  for (int n = 1; n <= kConstantRows; ++n) {
    if (C[n].LogK != 0.0) {
      C[n].K = std::pow(10.0, C[n].LogK);
    } else {
      C[n].K = 0.0;
    }
    if (FaultRaised()) [[unlikely]]
      RaiseFault("computing the equilibrium constants K = 10^LogK",
                 "LogK " + Num(C[n].LogK) + " of " + ConstantName(n) + " (equilibrium constant " + std::to_string(n) +
                     ") is beyond the range of a double (about -308 to 308); correct it in worksheet 3");
  }
  for (int n = 1; n <= kConstantRows; ++n) memo.k[n - 1] = C[n].K;
  memo.logK = logK;
  memo.constantsValid = true;
}

// The entries that share one activity-coefficient evaluation: the same
// formula with the same inputs apart from the sign of a charge.
struct GammaGroups {
  struct Group {
    double charge;  // of the first entry, in the order species 1..12, complexes 1..24
    bool isComplex; // of the first entry
    int row;        // of the first entry
    double gamma;
  };
  std::array<Group, 36> groups;
  int count = 0;
  int speciesGroups = 0; // groups [0, speciesGroups) have a species row among them
  std::array<int, 13> speciesGroup{};
  std::array<int, 25> complexGroup{};

  // 0 charged (keyed on |z|), 1 neutral species, 2 neutral complex with the
  // quadratic rule (rows 15, 16, 23, 24), 3 any other neutral complex.
  static int Formula(double charge, bool isComplex, int row) {
    if (charge != 0.0) return 0;
    if (!isComplex) return 1;
    return (row == 15 || row == 16 || row == 23 || row == 24) ? 2 : 3;
  }

  int GroupOf(double charge, bool isComplex, int row) {
    const int formula = Formula(charge, isComplex, row);
    const double magnitude = std::fabs(charge);
    for (int g = 0; g < count; ++g) {
      const Group& group = groups[static_cast<std::size_t>(g)];
      if (Formula(group.charge, group.isComplex, group.row) != formula) continue;
      if (formula != 0 || std::fabs(group.charge) == magnitude) return g;
    }
    groups[static_cast<std::size_t>(count)] = {charge, isComplex, row, 0.0};
    return count++;
  }

  explicit GammaGroups(const ModelState& state) {
    for (int n = 1; n <= 12; ++n) speciesGroup[n] = GroupOf(state.SpeciesTable[n].Charge, false, n);
    speciesGroups = count;
    for (int n = 1; n <= 24; ++n) complexGroup[n] = GroupOf(state.ComplexTable[n].Charge, true, n);
  }

  // Evaluates groups [first, last) at ionic strength I, testing each if asked.
  void Evaluate(int first, int last, double I, bool checkEachStep, int pass) {
    for (int g = first; g < last; ++g) {
      Group& group = groups[static_cast<std::size_t>(g)];
      group.gamma = EvaluateActivityCoefficient(I, group.charge, group.isComplex, group.row);
      if (checkEachStep && FaultRaised()) [[unlikely]]
        RaiseFault(ActivityFaultStep(group.charge, group.isComplex, group.row) + " in outer pass " +
                       std::to_string(pass),
                   ActivityFaultCause(I, group.charge));
    }
  }
};

// Why H+ came out 0 before the hydroxide is computed from it.
std::string ZeroHydrogenCause(const ModelState& state) {
  const CarbonatePair pair = state.InputPair;
  if (pair == CarbonatePair::None)
    return "no input pair was chosen, so the hydrogen-ion concentration was never computed; choose alkalinity and pH, "
           "alkalinity and "
           "pCO2, or bicarbonate and carbonate";
  if (pair == CarbonatePair::AlkalinityPH)
    return "10^-pH is 0 (pH " + Num(state.PH) + " is too high); check the sample's pH";
  if (pair == CarbonatePair::AlkalinityPCO2)
    return "the alkalinity balance gave 0 (pCO2 " + Num(state.PCO2) + "); check the sample's pCO2 and alkalinity";
  if (state.SpeciesTable[species::Bicarbonate].TotalConc == 0.0)
    return "the bicarbonate concentration is 0; pair \"C\" needs a bicarbonate concentration above 0";
  if (state.ConstantTable[4].LogK == 0.0)
    return "the second dissociation constant of carbonic acid is absent (LogK 0 for equilibrium constant 4); enter it "
           "in worksheet 3";
  return "H+ = K2' x bicarbonate / carbonate came out 0; check the sample's bicarbonate and carbonate";
}

std::string PassText(const ModelState& state) {
  return "in outer pass " + std::to_string(state.IterationCounters[counters::OuterPasses] + 1);
}

const char* const kDivergence = "the concentrations left the range of a double; check the sample for negative or "
                                "implausible concentrations";

// Raised by a pass-level test of the status flags; the solve is then replayed
// from its entry state testing after every step, which names the step.
struct FaultInPass {};

// Setup, constants and final quantities are tested after every step. The
// outer passes are tested step by step only when CheckEachStep is set;
// otherwise once at the end of each pass: the flags are sticky, so nothing is
// missed, and reading them (which waits for every floating-point operation
// under way) after each of the thousand steps of a solve would cost more than
// the chemistry.
template <bool CheckEachStep> void SolveWithinScope(ModelState& state, WeightedSumSource& weightedSum) {
  auto& S = state.SpeciesTable;
  auto& X = state.ComplexTable;
  auto& C = state.ConstantTable;
  auto& counters = state.IterationCounters;

  // Setup.
  ComputeEquilibriumConstants(state);
  for (int n = 3; n <= 9; ++n) S[n].FreeConc = S[n].TotalConc;
  // First ionic strength: the alkalinity stands in for the carbonate ions.
  state.IonicStrength = 0.5 * state.Alkalinity;
  for (int n = 3; n <= 9; ++n)
    state.IonicStrength = state.IonicStrength + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].TotalConc);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("estimating the first ionic strength from the alkalinity and the major ions",
               "the alkalinity (" + Num(state.Alkalinity) +
                   " eq/L) or a concentration is out of range; check the sample's inputs");
  state.InitialIonicStrength = state.IonicStrength;
  counters[3] = 0;

  GammaGroups gammas(state);

  for (;;) {
    // Activity coefficients of the species, then those of OH-, HCO3- and
    // CO3 2- referred to their totals of the previous pass.
    const double I = state.IonicStrength;
    gammas.Evaluate(0, gammas.speciesGroups, I, CheckEachStep, counters[3] + 1);
    for (int n = 1; n <= 12; ++n) S[n].Gamma = gammas.groups[static_cast<std::size_t>(gammas.speciesGroup[n])].gamma;
    for (int n : {2, 10, 11}) {
      if (S[n].TotalConc != 0.0 && S[n].FreeConc != 0.0) S[n].Gamma = S[n].Gamma * S[n].FreeConc / S[n].TotalConc;
      if (CheckEachStep && FaultRaised()) [[unlikely]]
        RaiseFault("referring the activity coefficient of species row " + std::to_string(n) +
                       " to its total concentration " + PassText(state),
                   kDivergence);
    }
    gammas.Evaluate(gammas.speciesGroups, gammas.count, I, CheckEachStep, counters[3] + 1);
    for (int n = 1; n <= 24; ++n) X[n].Gamma = gammas.groups[static_cast<std::size_t>(gammas.complexGroup[n])].gamma;

    // Conditional constants of the water and carbonate equilibria.
    C[1].ConditionalK = C[1].K / S[12].Gamma;
    C[2].ConditionalK = C[2].K / (S[2].Gamma * S[1].Gamma);
    C[3].ConditionalK = S[12].Gamma * C[3].K / (S[10].Gamma * S[1].Gamma);
    C[4].ConditionalK = S[10].Gamma * C[4].K / (S[11].Gamma * S[1].Gamma);
    if (CheckEachStep && FaultRaised()) [[unlikely]]
      RaiseFault("referring the water and carbonic-acid constants to concentrations " + PassText(state),
                 "an activity coefficient is 0 or out of range; check the sample's concentrations");

    CloseCarbonateSystem(state, CheckEachStep);

    // Hydroxide from the ion product of water.
    S[1].FreeConc = S[1].TotalConc;
    S[2].TotalConc = C[2].ConditionalK / S[1].TotalConc;
    if (CheckEachStep && FaultRaised()) [[unlikely]] {
      if (S[1].TotalConc == 0.0)
        RaiseFault("computing hydroxide from the ion product of water",
                   "the hydrogen-ion concentration is 0: " + ZeroHydrogenCause(state));
      RaiseFault("computing hydroxide from the ion product of water",
                 "the hydrogen-ion concentration " + Num(S[1].TotalConc) + " mol/L is too small");
    }

    // Conditional formation constants of the complexes.
    for (int r = 1; r <= 4; ++r) {
      const int c = r + 2;
      C[r + 6].ConditionalK = S[c].Gamma * C[r + 6].K * S[2].Gamma / X[r].Gamma;
      for (int h = 0; h <= 4; ++h) {
        const int l = h + 7;
        C[4 * h + r + 10].ConditionalK = S[c].Gamma * C[4 * h + r + 10].K * S[l].Gamma / X[4 * h + r + 4].Gamma;
      }
    }
    if (CheckEachStep && FaultRaised()) [[unlikely]]
      RaiseFault("referring the formation constants of the complexes to concentrations " + PassText(state),
                 "an activity coefficient is 0 or a constant out of range; check the constants and the sample");

    // Inner passes: mass balances of hydroxide, the ligands and the cations.
    counters[4] = 0;
    for (;;) {
      state.FreeHydroxide =
          S[2].TotalConc / (S[3].FreeConc * C[7].ConditionalK + 1.0 + S[4].FreeConc * C[8].ConditionalK +
                            S[5].FreeConc * C[9].ConditionalK + S[6].FreeConc * C[10].ConditionalK);
      S[2].FreeConc = state.FreeHydroxide;
      if (CheckEachStep && FaultRaised()) [[unlikely]]
        RaiseFault("solving the mass balance of hydroxide " + PassText(state), kDivergence);

      for (int h = 0; h <= 4; ++h) {
        const int l = h + 7;
        S[l].NextFreeConc =
            S[l].TotalConc /
            (C[4 * h + 11].ConditionalK * S[3].FreeConc + 1.0 + C[4 * h + 12].ConditionalK * S[4].FreeConc +
             C[4 * h + 13].ConditionalK * S[5].FreeConc + C[4 * h + 14].ConditionalK * S[6].FreeConc);
        if (S[l].NextFreeConc != 0.0)
          S[l].PercentChange = std::fabs((S[l].NextFreeConc - S[l].FreeConc) / S[l].NextFreeConc) * 100.0;
        S[l].FreeConc = S[l].NextFreeConc;
      }
      if (CheckEachStep && FaultRaised()) [[unlikely]]
        RaiseFault("solving the mass balances of the ligands " + PassText(state), kDivergence);

      for (int r = 1; r <= 4; ++r) {
        const int c = r + 2;
        S[c].FreeConc =
            S[c].TotalConc / (C[r + 6].ConditionalK * S[2].FreeConc + 1.0 + C[r + 10].ConditionalK * S[7].FreeConc +
                              C[r + 14].ConditionalK * S[8].FreeConc + C[r + 18].ConditionalK * S[9].FreeConc +
                              C[r + 22].ConditionalK * S[10].FreeConc + C[r + 26].ConditionalK * S[11].FreeConc);
      }
      if (CheckEachStep && FaultRaised()) [[unlikely]]
        RaiseFault("solving the mass balances of the cations " + PassText(state), kDivergence);

      counters[4] = static_cast<std::int16_t>(counters[4] + 1);
      ++state.Memo.innerPasses;
      if (counters[4] > 100) break;
      bool settled = true;
      for (int l = 7; l <= 11; ++l) settled = settled && S[l].PercentChange <= state.MachineEpsilon;
      if (settled) break;
    }

    // Complex concentrations.
    for (int r = 1; r <= 4; ++r) {
      const int c = r + 2;
      X[r].FreeConc = S[c].FreeConc * C[r + 6].ConditionalK * S[2].FreeConc;
      for (int h = 0; h <= 4; ++h) {
        const int l = h + 7;
        X[4 * h + r + 4].FreeConc = S[c].FreeConc * C[4 * h + r + 10].ConditionalK * S[l].FreeConc;
      }
    }
    if (CheckEachStep && FaultRaised()) [[unlikely]]
      RaiseFault("computing the complex concentrations " + PassText(state), kDivergence);

    // New ionic strength from the free ions and the complexes (H+, OH- and
    // dissolved CO2 left out).
    state.NewIonicStrength = 0.0;
    for (int n = 3; n <= 11; ++n)
      state.NewIonicStrength = state.NewIonicStrength + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].FreeConc);
    for (int n = 1; n <= 24; ++n)
      state.NewIonicStrength = state.NewIonicStrength + std::pow(X[n].Charge, 2.0) * (0.5 * X[n].FreeConc);
    if (state.NewIonicStrength != 0.0)
      state.IonicStrengthChange =
          std::fabs((state.NewIonicStrength - state.IonicStrength) / state.NewIonicStrength) * 100.0;
    state.IonicStrength = state.NewIonicStrength;
    if (CheckEachStep && FaultRaised()) [[unlikely]]
      RaiseFault("summing the new ionic strength " + PassText(state), kDivergence);

    if (!CheckEachStep && FaultRaised()) [[unlikely]]
      throw FaultInPass{};

    counters[3] = static_cast<std::int16_t>(counters[3] + 1);
    ++state.Memo.outerPasses;
    if (counters[3] > 100) break;
    if (!(state.IonicStrengthChange > state.MachineEpsilon)) break;
  }

  DeriveFinalQuantities(state, weightedSum);
  ++state.Memo.solves;
}

} // namespace

} // namespace speciation_detail

void ComputeMachineEpsilon(ModelState& state) {
  // Halve until adding to 1 no longer changes 1: 2^-53 with rounding to
  // nearest. The sum is stored through a volatile so that it is rounded to
  // double and not folded away.
  volatile double trial = 2.0;
  state.MachineEpsilon = 1.0;
  while (trial > 1.0) {
    state.MachineEpsilon = state.MachineEpsilon / 2.0;
    trial = state.MachineEpsilon + 1.0;
  }
}

void SolveSpeciation(ModelState& state, WeightedSumSource& weightedSum) {
  using namespace speciation_detail;
  const SolverSnapshot entry(state);
  FaultScope scope;
  try {
    try {
      SolveWithinScope<false>(state, weightedSum);
    } catch (const FaultInPass&) {
      // The same solve from the same state, now testing after every step: it
      // stops at the step that faulted and says which and why.
      entry.Restore(state);
      std::feclearexcept(FE_ALL_EXCEPT);
      SolveWithinScope<true>(state, weightedSum);
      RaiseFault("speciating the sample", "a floating-point fault that a second pass could not place");
    }
  } catch (...) {
    entry.Restore(state);
    throw;
  }
}

} // namespace vontralek
