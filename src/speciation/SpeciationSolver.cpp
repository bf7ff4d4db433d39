// The speciation of one sample: a fixed-point iteration on the ionic strength
// (outer passes) around the mass balances of the four cations and five ligands
// with their 24 complexes (inner passes), then the derived final quantities.
//
// Results are exactly those of the plain step-by-step procedure; work whose
// result would be bit-identical is not repeated:
// - an activity coefficient depends only on the ionic strength, |z| (z enters
//   only squared) and, for neutral entries, on the table and the row rule, so
//   the 36 entries share a handful of evaluations per outer pass;
// - K = 10^LogK is kept from one solve to the next while the LogK values (and,
//   with a temperature, the temperature and its data) are the same to the bit.
// Nothing is allocated while solving.
//
// Two models share the procedure. The ion-association model differs in four
// places, each marked below: the complexes of OH-, HCO3- and CO3 2- form with
// the free-ion coefficients (not those referred to the ligand's total, which
// would count the free fraction twice), H+ and OH- enter the ionic strength,
// and pair "B" solves the full alkalinity balance (CarbonateSystem.cpp); the
// final coefficients of HCO3- and CO3 2- take the factor F/T once
// (FinalQuantities.cpp).

#include <cmath>
#include <limits>

#include "common/Errors.h"
#include "speciation/ActivityCoefficients.h"
#include "speciation/Convergence.h"
#include "speciation/EquilibriumConstants.h"
#include "speciation/FloatingPointFaults.h"
#include "speciation/GammaGroups.h"
#include "speciation/HydroxideDamping.h"
#include "speciation/SolverMessages.h"
#include "speciation/Speciation.h"
#include "speciation/SpeciationDetail.h"

namespace vontralek {

namespace speciation_detail {

namespace {

bool NonNegativeAndFinite(double value) { return value >= 0.0 && value <= std::numeric_limits<double>::max(); }

// Raised by a pass-level test of the status flags; the solve is then replayed
// from its entry state testing after every step, which names the step.
struct FaultInPass {};

// The procedure, one member function per step. Setup, constants and final
// quantities are tested after every step. The outer passes are tested step by
// step only when CheckEachStep is set; otherwise once at the end of each pass:
// the flags are sticky, so nothing is missed, and reading them (which waits
// for every floating-point operation under way) after each of the thousand
// steps of a solve would cost more than the chemistry.
template <bool CheckEachStep> class Speciation {
public:
  Speciation(ModelState& state, WeightedSumSource& weightedSum)
      : state_(state), weightedSum_(weightedSum), S(state.SpeciesTable), X(state.ComplexTable), C(state.ConstantTable),
        counters_(state.IterationCounters), ionAssociation_(state.Model == SpeciationModel::IonAssociation) {}

  void Run() {
    RequirePlausibleTemperature(state_);
    daviesA_ = ComputeEquilibriumConstants(state_);
    EstimateFirstIonicStrength();
    GammaGroups gammas(state_);
    for (;;) {
      ComputeActivityCoefficients(gammas);
      ReferWaterAndCarbonateConstants();
      CloseCarbonateSystem(state_, CheckEachStep, &hydrogenActivity_);
      RequirePossibleCarbonateSystem();
      ComputeHydroxideTotal();
      ReferComplexConstants();
      SolveMassBalances();
      ComputeComplexConcentrations();
      SumIonicStrength();
      if (!CheckEachStep && FaultRaised()) [[unlikely]]
        throw FaultInPass{};
      if (OuterIterationEnds() && !damping_.Retry(state_, ionAssociation_)) break;
    }
    RequirePossibleConcentrations();
    RequireConvergence(state_);
    RequireCarbonateLeft();
    DeriveFinalQuantities(state_, weightedSum_);
    ++state_.Memo.solves;
  }

private:
  // The step and pass in messages.
  std::string InPass() const { return "in outer pass " + std::to_string(counters_[counters::OuterPasses] + 1); }

  void Check(const char* step, const char* cause) {
    CheckStep(CheckEachStep, [&] { return StepAndCause{step + (" " + InPass()), cause}; });
  }

  // The conditional formation constant K' of ComplexTable row m.
  double ConditionalK(int m) const { return C[ConstantRowOfComplex(m)].ConditionalK; }

  // The cations start free; the first ionic strength takes half
  // the alkalinity for the carbonate ions, which are not known yet.
  void EstimateFirstIonicStrength() {
    counters_[counters::OuterPasses] = 0;
    if (state_.WarmStart && std::isfinite(state_.IonicStrength) && state_.IonicStrength > 0.0) {
      state_.InitialIonicStrength = state_.IonicStrength;
      return;
    }
    for (int n : species::AnalysedIons) S[n].FreeConc = S[n].TotalConc;
    state_.IonicStrength = 0.5 * state_.Alkalinity;
    for (int n : species::AnalysedIons)
      state_.IonicStrength = state_.IonicStrength + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].TotalConc);
    CheckStep(true, [&] {
      return StepAndCause{"estimating the first ionic strength from the alkalinity and the major ions",
                          "the alkalinity (" + Num(state_.Alkalinity) +
                              " eq/L) or a concentration is out of range; check the sample's inputs"};
    });
    state_.InitialIonicStrength = state_.IonicStrength;
  }

  // The coefficients at the current ionic strength; those of
  // OH-, HCO3- and CO3 2- are then referred to their totals of the previous
  // pass (g F/T), as the carbonate system and the water equilibrium take
  // them. The free-ion values are kept for the complexes of the
  // ion-association model.
  void ComputeActivityCoefficients(GammaGroups& gammas) {
    const double I = state_.IonicStrength;
    const int pass = counters_[counters::OuterPasses] + 1;
    gammas.Evaluate(0, gammas.SpeciesGroups(), I, daviesA_, CheckEachStep, pass);
    for (int n : species::All) S[n].Gamma = state_.FreeIonGamma[n] = gammas.OfSpecies(n);
    for (int n : {species::Hydroxide, species::Bicarbonate, species::Carbonate}) {
      if (S[n].TotalConc != 0.0 && S[n].FreeConc != 0.0) S[n].Gamma = S[n].Gamma * S[n].FreeConc / S[n].TotalConc;
      CheckStep(CheckEachStep, [&] {
        return StepAndCause{"referring the activity coefficient of species row " + std::to_string(n) +
                                " to its total concentration " + InPass(),
                            kDivergence};
      });
    }
    if (damping_.Active()) damping_.Apply(state_);
    gammas.Evaluate(gammas.SpeciesGroups(), gammas.Count(), I, daviesA_, CheckEachStep, pass);
    for (int n : complex::All) X[n].Gamma = gammas.OfComplex(n);
  }

  // KH', Kw', K1', K2' referred to concentrations.
  void ReferWaterAndCarbonateConstants() {
    using namespace species;
    namespace k = constant;
    C[k::CO2Solubility].ConditionalK = C[k::CO2Solubility].K / S[DissolvedCO2].Gamma;
    C[k::WaterIonProduct].ConditionalK = C[k::WaterIonProduct].K / (S[Hydroxide].Gamma * S[Hydrogen].Gamma);
    C[k::CarbonicAcid1].ConditionalK =
        S[DissolvedCO2].Gamma * C[k::CarbonicAcid1].K / (S[Bicarbonate].Gamma * S[Hydrogen].Gamma);
    C[k::CarbonicAcid2].ConditionalK =
        S[Bicarbonate].Gamma * C[k::CarbonicAcid2].K / (S[Carbonate].Gamma * S[Hydrogen].Gamma);
    Check("referring the water and carbonic-acid constants to concentrations",
          "an activity coefficient is 0 or out of range; check the sample's concentrations");
  }

  // After the carbonate system: a negative pCO2, H+, HCO3- or CO3 2- is no chemistry but an
  // impossible pair of inputs. A fault of the pass comes first.
  // With alkalinity and pH, pCO2 = H^2/(K1' KH') (Alk + H - Kw'/H)/(H + 2 K2')
  // is negative when hydroxide and its complexes, Kw'/H, exceed Alk + H. Kw'
  // takes the free fraction of OH- of the pass before, which may still be far
  // from its converged value (hot, alkaline, Mg-rich waters hold most OH- as
  // MgOH+), so a pass may overshoot: it goes on without carbonate (pCO2,
  // HCO3- and CO3 2- set to 0), which moves the complexes towards their
  // converged values. Only a converged pass decides (RequireCarbonateLeft).
  // The procedure as specified refuses at the first negative pass, as ever.
  void RequirePossibleCarbonateSystem() {
    const double H = S[species::Hydrogen].TotalConc;
    noCarbonate_ = false;
    if (NonNegativeAndFinite(state_.PCO2) && NonNegativeAndFinite(H) &&
        NonNegativeAndFinite(S[species::Bicarbonate].TotalConc) &&
        NonNegativeAndFinite(S[species::Carbonate].TotalConc)) [[likely]]
      return;
    if (!CheckEachStep && FaultRaised()) throw FaultInPass{};
    if (ionAssociation_ && state_.InputPair == CarbonatePair::AlkalinityPH && state_.PCO2 < 0.0 &&
        NonNegativeAndFinite(H) && std::isfinite(state_.PCO2)) {
      noCarbonate_ = true;
      state_.PCO2 = S[species::Bicarbonate].TotalConc = S[species::Carbonate].TotalConc = 0.0;
      return;
    }
    throw SampleFailure(ImpossibleCarbonateCause(state_));
  }

  // A water is refused for want of carbonate only when its converged pass
  // has none: at the given pH, with the complexes of OH- at their converged
  // values, Kw'/H = [OH-] + [NaOH] + [KOH] + [CaOH+] + [MgOH+] exceeds
  // Alk + [H+]. Then no pCO2 >= 0 balances the alkalinity.
  void RequireCarbonateLeft() const {
    if (noCarbonate_) [[unlikely]]
      throw SampleFailure(ImpossibleCarbonateCause(state_));
  }

  // H+ is free; hydroxide from the ion product of water. A pass left
  // without carbonate takes the hydroxide the alkalinity balance allows,
  // Alk + [H+], not the overshoot.
  void ComputeHydroxideTotal() {
    auto& hydrogen = S[species::Hydrogen];
    hydrogen.FreeConc = hydrogen.TotalConc;
    S[species::Hydroxide].TotalConc = C[constant::WaterIonProduct].ConditionalK / hydrogen.TotalConc;
    if (noCarbonate_) [[unlikely]]
      S[species::Hydroxide].TotalConc = state_.Alkalinity + hydrogen.TotalConc;
    CheckStep(CheckEachStep, [&] {
      if (hydrogen.TotalConc == 0.0)
        return StepAndCause{"computing hydroxide from the ion product of water",
                            "the hydrogen-ion concentration is 0: " + ZeroHydrogenCause(state_)};
      return StepAndCause{"computing hydroxide from the ion product of water",
                          "the hydrogen-ion concentration " + Num(hydrogen.TotalConc) + " mol/L is too small"};
    });
  }

  // The coefficient a complex of ligand row l forms with. The procedure as
  // specified takes the total-referred one of OH-, HCO3-, CO3 2- (so these
  // complexes come out low by the ligand's free fraction F/T, which the mass
  // balance multiplies in again); the ion-association model the free ion's.
  double LigandGammaForComplexes(int l) const {
    const bool referred = l == species::Hydroxide || l == species::Bicarbonate || l == species::Carbonate;
    return ionAssociation_ && referred ? state_.FreeIonGamma[l] : S[l].Gamma;
  }

  // Formation constants referred to concentrations:
  // K' = g(cation) K g(ligand) / g(complex).
  void ReferComplexConstants() {
    for (int c : species::Cations) {
      const int hydroxideComplex = complex::Of(c, species::Hydroxide);
      C[ConstantRowOfComplex(hydroxideComplex)].ConditionalK =
          S[c].Gamma * C[ConstantRowOfComplex(hydroxideComplex)].K * LigandGammaForComplexes(species::Hydroxide) /
          X[hydroxideComplex].Gamma;
      for (int l : species::Ligands) {
        const int m = complex::Of(c, l);
        C[ConstantRowOfComplex(m)].ConditionalK =
            S[c].Gamma * C[ConstantRowOfComplex(m)].K * LigandGammaForComplexes(l) / X[m].Gamma;
      }
    }
    Check("referring the formation constants of the complexes to concentrations",
          "an activity coefficient is 0 or a constant out of range; check the constants and the sample");
  }

  // Free OH- = total / (1 + sum of K' x free cation).
  void BalanceHydroxide() {
    using namespace species;
    state_.FreeHydroxide = S[Hydroxide].TotalConc / (S[Sodium].FreeConc * ConditionalK(complex::SodiumHydroxide) + 1.0 +
                                                     S[Cation2].FreeConc * ConditionalK(complex::Cation2Hydroxide) +
                                                     S[Calcium].FreeConc * ConditionalK(complex::CalciumHydroxide) +
                                                     S[Magnesium].FreeConc * ConditionalK(complex::MagnesiumHydroxide));
    S[Hydroxide].FreeConc = state_.FreeHydroxide;
    Check("solving the mass balance of hydroxide", kDivergence);
  }

  // Each free ligand from its total and the cations of the last pass;
  // its relative change (%) decides when the inner passes end.
  void BalanceLigands() {
    using namespace species;
    for (int l : Ligands) {
      const auto K = [&](int c) { return ConditionalK(complex::Of(c, l)); };
      S[l].NextFreeConc = S[l].TotalConc / (K(Sodium) * S[Sodium].FreeConc + 1.0 + K(Cation2) * S[Cation2].FreeConc +
                                            K(Calcium) * S[Calcium].FreeConc + K(Magnesium) * S[Magnesium].FreeConc);
      if (S[l].NextFreeConc != 0.0)
        S[l].PercentChange = std::fabs((S[l].NextFreeConc - S[l].FreeConc) / S[l].NextFreeConc) * 100.0;
      S[l].FreeConc = S[l].NextFreeConc;
    }
    Check("solving the mass balances of the ligands", kDivergence);
  }

  // Each free cation from its total and the ligands just updated.
  void BalanceCations() {
    using namespace species;
    for (int c : Cations) {
      const auto K = [&](int l) { return ConditionalK(complex::Of(c, l)); };
      S[c].FreeConc =
          S[c].TotalConc / (K(Hydroxide) * S[Hydroxide].FreeConc + 1.0 + K(Ligand1) * S[Ligand1].FreeConc +
                            K(Ligand2) * S[Ligand2].FreeConc + K(Sulfate) * S[Sulfate].FreeConc +
                            K(Bicarbonate) * S[Bicarbonate].FreeConc + K(Carbonate) * S[Carbonate].FreeConc);
    }
    Check("solving the mass balances of the cations", kDivergence);
  }

  bool LigandsSettled() const {
    bool settled = true;
    for (int l : species::Ligands) settled = settled && S[l].PercentChange <= state_.MachineEpsilon;
    return settled;
  }

  // Inner passes until no free ligand changes any more, or
  // the pass limit.
  void SolveMassBalances() {
    auto& inner = counters_[counters::InnerPasses];
    inner = 0;
    for (;;) {
      BalanceHydroxide();
      BalanceLigands();
      BalanceCations();
      inner = static_cast<std::int16_t>(inner + 1);
      ++state_.Memo.innerPasses;
      if (inner > kPassLimit || LigandsSettled()) break;
    }
  }

  // [ML] = K' [M] [L].
  void ComputeComplexConcentrations() {
    for (int c : species::Cations) {
      const int hydroxideComplex = complex::Of(c, species::Hydroxide);
      X[hydroxideComplex].FreeConc = S[c].FreeConc * ConditionalK(hydroxideComplex) * S[species::Hydroxide].FreeConc;
      for (int l : species::Ligands) {
        const int m = complex::Of(c, l);
        X[m].FreeConc = S[c].FreeConc * ConditionalK(m) * S[l].FreeConc;
      }
    }
    Check("computing the complex concentrations", kDivergence);
  }

  // I = 1/2 sum z^2 c over the free cations and ligands (rows 3 to 11) and
  // the complexes. The procedure as specified leaves H+ and OH- out; the
  // ion-association model counts them first (which matters in acid or
  // alkaline waters of low salinity).
  void SumIonicStrength() {
    double& sum = state_.NewIonicStrength;
    sum = 0.0;
    if (ionAssociation_)
      for (int n : {species::Hydrogen, species::Hydroxide})
        sum = sum + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].FreeConc);
    for (int n : species::CationsAndLigands) sum = sum + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].FreeConc);
    for (int n : complex::All) sum = sum + std::pow(X[n].Charge, 2.0) * (0.5 * X[n].FreeConc);
    if (sum != 0.0) state_.IonicStrengthChange = std::fabs((sum - state_.IonicStrength) / sum) * 100.0;
    state_.IonicStrength = sum;
    Check("summing the new ionic strength", kDivergence);
  }

  // The iteration ends when the ionic strength no longer changes,
  // or at the pass limit.
  bool OuterIterationEnds() {
    auto& outer = counters_[counters::OuterPasses];
    outer = static_cast<std::int16_t>(outer + 1);
    ++state_.Memo.outerPasses;
    // With equilibrium with calcite as an extra condition, D settles to 1e-12
    // of the water's calcium and carbon; the passes then end at a change of
    // 1e-14 (relative) instead of waiting for the last bit, which may swing.
    const double settled = state_.Calcite.active ? kCalciteSettledPercent : state_.MachineEpsilon;
    return outer > kPassLimit || !(state_.IonicStrengthChange > settled);
  }

  // A negative free concentration comes only from a negative total: no water
  // has one.
  void RequirePossibleConcentrations() {
    for (int n : species::Ions)
      if (!NonNegativeAndFinite(S[n].FreeConc)) [[unlikely]]
        throw SampleFailure("the free concentration of " + std::string(SpeciesName(n)) + " came out " +
                            Num(S[n].FreeConc * 1000.0) + " mmol/L: a negative total (" + Num(S[n].TotalConc * 1000.0) +
                            " mmol/L) is impossible; check the sample's concentrations");
    for (int m : complex::All)
      if (!NonNegativeAndFinite(X[m].FreeConc)) [[unlikely]]
        throw SampleFailure("the concentration of complex row " + std::to_string(m) + " came out " +
                            Num(X[m].FreeConc * 1000.0) +
                            " mmol/L: a negative total of one of its ions is impossible; check the sample's "
                            "concentrations");
  }

  ModelState& state_;
  WeightedSumSource& weightedSum_;
  decltype(ModelState::SpeciesTable)& S;
  decltype(ModelState::ComplexTable)& X;
  decltype(ModelState::ConstantTable)& C;
  decltype(ModelState::IterationCounters)& counters_;
  const bool ionAssociation_;
  RememberedValue hydrogenActivity_;       // 10^-pH, for the pair alkalinity and pH
  bool noCarbonate_ = false;               // the last pass left no carbonate (pair alkalinity and pH)
  HydroxideDamping damping_;               // damped passes after an unconverged iteration
  double daviesA_ = activity::kDaviesA25C; // (L/mol)^0.5, at the sample's temperature when given
};

} // namespace

} // namespace speciation_detail

void SolveSpeciation(ModelState& state, WeightedSumSource& weightedSum) {
  using namespace speciation_detail;
  RestoringOnFailure(state, [&](const ModelState& entry) {
    try {
      Speciation<false>(state, weightedSum).Run();
    } catch (const FaultInPass&) {
      // The same solve from the same state, now testing after every step: it
      // stops at the step that faulted and says which and why.
      RestoreState(state, entry);
      std::feclearexcept(FE_ALL_EXCEPT);
      Speciation<true>(state, weightedSum).Run();
      RaiseFault("speciating the sample", "a floating-point fault that a second pass could not place");
    }
  });
}

} // namespace vontralek
