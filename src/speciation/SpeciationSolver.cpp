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

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/Errors.h"
#include "speciation/ActivityModel.h"
#include "speciation/FloatingPointFaults.h"
#include "speciation/Speciation.h"
#include "speciation/SpeciationDetail.h"
#include "speciation/Temperature.h"

namespace vontralek {

namespace speciation_detail {

namespace {

constexpr int kConstantRows = 30;
constexpr int kPassLimit = 100; // a loop ends when its counter exceeds this: 101 passes at most
// A loop ended by its pass limit has converged when its quantities change by
// at most this, relative, per pass (1e-9, in percent as the changes are kept).
constexpr double kConvergedPercent = 1e-7;
// Above this change (1e-12 relative, in percent) at the pass limit the
// ion-association model retries with damped passes (RetryDamped).
constexpr double kDampedRetryPercent = 1e-10;

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
  RememberedValue rootI; // sqrt(I) of the charged groups

  // 0 charged (keyed on |z|), 1 neutral species, 2 neutral complex with the
  // quadratic rule, 3 any other neutral complex.
  static int Formula(double charge, bool isComplex, int row) {
    if (charge != 0.0) return 0;
    if (!isComplex) return 1;
    return activity::UsesQuadraticNeutralRule(row) ? 2 : 3;
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

  double OfSpecies(int row) const { return groups[static_cast<std::size_t>(speciesGroup[row])].gamma; }
  double OfComplex(int row) const { return groups[static_cast<std::size_t>(complexGroup[row])].gamma; }

  // Evaluates groups [first, last) at ionic strength I with the Davies slope
  // daviesA, testing each if asked.
  void Evaluate(int first, int last, double I, double daviesA, bool checkEachStep, int pass) {
    const auto root = [this](double i) { return rootI.Of(i, [](double x) { return std::pow(x, 0.5); }); };
    for (int g = first; g < last; ++g) {
      Group& group = groups[static_cast<std::size_t>(g)];
      group.gamma = activity::EvaluateActivityCoefficient(I, group.charge, group.isComplex, group.row, daviesA, root);
      CheckStep(checkEachStep, [&] {
        return StepAndCause{ActivityFaultStep(group.charge, group.isComplex, group.row) + " in outer pass " +
                                std::to_string(pass),
                            ActivityFaultCause(I, group.charge)};
      });
    }
  }
};

// Why H+ came out 0 before the hydroxide is computed from it.
std::string ZeroHydrogenCause(const ModelState& state) {
  switch (state.InputPair) {
  case CarbonatePair::None:
    return "no input pair was chosen, so the hydrogen-ion concentration was never computed; choose alkalinity and "
           "pH, alkalinity and pCO2, or bicarbonate and carbonate";
  case CarbonatePair::AlkalinityPH:
    return "10^-pH is 0 (pH " + Num(state.PH) + " is too high); check the sample's pH";
  case CarbonatePair::AlkalinityPCO2:
    return "the alkalinity balance gave 0 (pCO2 " + Num(state.PCO2) + "); check the sample's pCO2 and alkalinity";
  case CarbonatePair::BicarbonateCarbonate:
    break;
  }
  if (state.SpeciesTable[species::Bicarbonate].TotalConc == 0.0)
    return "the bicarbonate concentration is 0; pair \"C\" needs a bicarbonate concentration above 0";
  if (state.ConstantTable[4].LogK == 0.0)
    return "the second dissociation constant of carbonic acid is absent (LogK 0 for equilibrium constant 4); enter it "
           "in worksheet 3";
  return "H+ = K2' x bicarbonate / carbonate came out 0; check the sample's bicarbonate and carbonate";
}

// Why the carbonate system of a pass is impossible: which inputs, together,
// leave no non-negative solution.
std::string ImpossibleCarbonateCause(const ModelState& state) {
  const auto& S = state.SpeciesTable;
  const std::string alkalinity = Num(state.Alkalinity * 1000.0) + " meq/L";
  switch (state.InputPair) {
  case CarbonatePair::AlkalinityPH:
    return "pH " + Num(state.PH) + " with alkalinity " + alkalinity +
           " leaves no carbonate: the computed pCO2 is negative (at that pH, hydroxide and its complexes alone, " +
           Num(state.ConstantTable[2].ConditionalK / S[species::Hydrogen].TotalConc * 1000.0) +
           " meq/L, exceed the alkalinity); check the sample's pH and alkalinity";
  case CarbonatePair::AlkalinityPCO2:
    return "pCO2 " + Num(state.PCO2) + " with alkalinity " + alkalinity +
           " gives a negative hydrogen-ion, bicarbonate or carbonate concentration; a pCO2 must not be negative";
  case CarbonatePair::BicarbonateCarbonate:
    return "bicarbonate " + Num(S[species::Bicarbonate].TotalConc * 1000.0) + " mmol/L with carbonate " +
           Num(S[species::Carbonate].TotalConc * 1000.0) +
           " mmol/L gives a negative hydrogen-ion concentration or pCO2; neither may be negative";
  case CarbonatePair::None:
    break;
  }
  return "the carbonate system holds a negative concentration or pCO2";
}

bool NonNegativeAndFinite(double value) { return value >= 0.0 && value <= std::numeric_limits<double>::max(); }

// Raised by a pass-level test of the status flags; the solve is then replayed
// from its entry state testing after every step, which names the step.
struct FaultInPass {};

const char* const kDivergence = "the concentrations left the range of a double; check the sample for negative or "
                                "implausible concentrations";

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
    RequirePlausibleTemperature();
    ComputeEquilibriumConstants();
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
      if (OuterIterationEnds() && !RetryDamped()) break;
    }
    RequirePossibleConcentrations();
    RequireConvergence();
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

  // The model's data hold for liquid water at 1 atm: 0 to 100 °C.
  void RequirePlausibleTemperature() const {
    if (!state_.TemperatureGiven) [[likely]]
      return;
    const double t = state_.TemperatureC;
    if (!(t >= MinTemperatureC && t <= MaxTemperatureC)) [[unlikely]]
      throw SampleFailure("the temperature " + Num(t) +
                          " °C is outside 0 to 100 °C, the range of liquid water that "
                          "the constants' temperature data and the Davies slope cover; give the water's "
                          "temperature in °C");
  }

  // Whether the memo's powers were taken from these LogK values at this
  // temperature with these temperature data, all to the bit.
  bool MemoHolds(const std::array<double, kConstantRows>& logK) const {
    const SolverMemo& memo = state_.Memo;
    if (!memo.constantsValid || memo.temperatureGiven != state_.TemperatureGiven ||
        std::memcmp(logK.data(), memo.logK.data(), sizeof logK) != 0)
      return false;
    if (!state_.TemperatureGiven) return true;
    if (std::memcmp(&memo.temperatureC, &state_.TemperatureC, sizeof(double)) != 0) return false;
    for (int n = 1; n <= kConstantRows; ++n)
      if (!SameBits(memo.temperatureTable[n], state_.TemperatureTable[n])) return false;
    return true;
  }

  // K(n) = 10^LogK(n), or exactly 0 for an absent constant; with a sample
  // temperature, LogK at that temperature and the Davies slope of water
  // there. The powers of the last successful computation are reused while
  // their inputs are the same to the bit.
  void ComputeEquilibriumConstants() {
    SolverMemo& memo = state_.Memo;
    std::array<double, kConstantRows> logK;
    for (int n = 1; n <= kConstantRows; ++n) logK[n - 1] = C[n].LogK;
    if (MemoHolds(logK)) {
      for (int n = 1; n <= kConstantRows; ++n) C[n].K = memo.k[n - 1], C[n].SampleLogK = memo.sampleLogK[n - 1];
      daviesA_ = memo.daviesA;
      return;
    }
    memo.constantsValid = false;
    const bool atTemperature = state_.TemperatureGiven;
    const double kelvin = state_.TemperatureC + ZeroCelsiusK;
    daviesA_ = atTemperature ? DaviesSlope(kelvin) : activity::kDaviesA25C;
    for (int n = 1; n <= kConstantRows; ++n) {
      C[n].SampleLogK = atTemperature ? LogKAtTemperature(C[n].LogK, state_.TemperatureTable[n], kelvin) : C[n].LogK;
      C[n].K = C[n].LogK != 0.0 ? std::pow(10.0, C[n].SampleLogK) : 0.0;
      CheckStep(true, [&] {
        if (atTemperature)
          return StepAndCause{"computing the equilibrium constants at " + Num(state_.TemperatureC) + " °C",
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
    for (int n = 1; n <= kConstantRows; ++n) memo.k[n - 1] = C[n].K, memo.sampleLogK[n - 1] = C[n].SampleLogK;
    memo.logK = logK;
    memo.temperatureGiven = atTemperature;
    memo.temperatureC = state_.TemperatureC;
    memo.temperatureTable = state_.TemperatureTable;
    memo.daviesA = daviesA_;
    memo.constantsValid = true;
  }

  // The cations start free; the first ionic strength takes half
  // the alkalinity for the carbonate ions, which are not known yet.
  void EstimateFirstIonicStrength() {
    for (int n = 3; n <= 9; ++n) S[n].FreeConc = S[n].TotalConc;
    state_.IonicStrength = 0.5 * state_.Alkalinity;
    for (int n = 3; n <= 9; ++n)
      state_.IonicStrength = state_.IonicStrength + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].TotalConc);
    CheckStep(true, [&] {
      return StepAndCause{"estimating the first ionic strength from the alkalinity and the major ions",
                          "the alkalinity (" + Num(state_.Alkalinity) +
                              " eq/L) or a concentration is out of range; check the sample's inputs"};
    });
    state_.InitialIonicStrength = state_.IonicStrength;
    counters_[counters::OuterPasses] = 0;
  }

  // The coefficients at the current ionic strength; those of
  // OH-, HCO3- and CO3 2- are then referred to their totals of the previous
  // pass (g F/T), as the carbonate system and the water equilibrium take
  // them. The free-ion values are kept for the complexes of the
  // ion-association model.
  void ComputeActivityCoefficients(GammaGroups& gammas) {
    const double I = state_.IonicStrength;
    const int pass = counters_[counters::OuterPasses] + 1;
    gammas.Evaluate(0, gammas.speciesGroups, I, daviesA_, CheckEachStep, pass);
    for (int n = 1; n <= 12; ++n) S[n].Gamma = state_.FreeIonGamma[n] = gammas.OfSpecies(n);
    for (int n : {species::Hydroxide, species::Bicarbonate, species::Carbonate}) {
      if (S[n].TotalConc != 0.0 && S[n].FreeConc != 0.0) S[n].Gamma = S[n].Gamma * S[n].FreeConc / S[n].TotalConc;
      CheckStep(CheckEachStep, [&] {
        return StepAndCause{"referring the activity coefficient of species row " + std::to_string(n) +
                                " to its total concentration " + InPass(),
                            kDivergence};
      });
    }
    if (damped_) DampHydroxideFraction();
    gammas.Evaluate(gammas.speciesGroups, gammas.count, I, daviesA_, CheckEachStep, pass);
    for (int n = 1; n <= 24; ++n) X[n].Gamma = gammas.OfComplex(n);
  }

  // In the ion-association model an outer iteration that ends at its pass
  // limit with I still changing by more than 1e-12 (relative) goes on for as
  // many passes again, damped: hot, alkaline, Mg-rich waters whose alkalinity
  // is nearly all OH- and MgOH+ make the free fraction of OH- swing from pass
  // to pass by a factor close to -1, slowly growing or dying, and their pCO2
  // (a small difference of alkalinity and hydroxide) would carry the swing
  // amplified. Every water that converges within the pass limit keeps its
  // result to the bit.
  bool RetryDamped() {
    if (!ionAssociation_ || damped_ || counters_[counters::OuterPasses] <= kPassLimit ||
        state_.NewIonicStrength == 0.0 || !(state_.IonicStrengthChange > kDampedRetryPercent))
      return false;
    damped_ = true;
    counters_[counters::OuterPasses] = 0;
    return true;
  }

  // Damped: the free fraction F/T of OH- is taken as the mean of this
  // pass's and the one used in the pass before, which turns a swing by a
  // factor near -1 into fast convergence. (Those of HCO3- and CO3 2- settle
  // without swinging; a mean would only slow them down.)
  void DampHydroxideFraction() {
    const int n = species::Hydroxide;
    const double fraction = S[n].Gamma / state_.FreeIonGamma[n];
    const double used = dampedFraction_ == 0.0 ? fraction : 0.5 * (fraction + dampedFraction_);
    S[n].Gamma = state_.FreeIonGamma[n] * used;
    dampedFraction_ = used;
  }

  // KH', Kw', K1', K2' referred to concentrations.
  void ReferWaterAndCarbonateConstants() {
    C[1].ConditionalK = C[1].K / S[12].Gamma;
    C[2].ConditionalK = C[2].K / (S[2].Gamma * S[1].Gamma);
    C[3].ConditionalK = S[12].Gamma * C[3].K / (S[10].Gamma * S[1].Gamma);
    C[4].ConditionalK = S[10].Gamma * C[4].K / (S[11].Gamma * S[1].Gamma);
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
    S[1].FreeConc = S[1].TotalConc;
    S[2].TotalConc = C[2].ConditionalK / S[1].TotalConc;
    if (noCarbonate_) [[unlikely]]
      S[2].TotalConc = state_.Alkalinity + S[1].TotalConc;
    CheckStep(CheckEachStep, [&] {
      if (S[1].TotalConc == 0.0)
        return StepAndCause{"computing hydroxide from the ion product of water",
                            "the hydrogen-ion concentration is 0: " + ZeroHydrogenCause(state_)};
      return StepAndCause{"computing hydroxide from the ion product of water",
                          "the hydrogen-ion concentration " + Num(S[1].TotalConc) + " mol/L is too small"};
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
    for (int r = 1; r <= 4; ++r) {
      const int c = r + 2;
      const int hydroxideRow = ComplexRow(0, r);
      C[ConstantRowOfComplex(hydroxideRow)].ConditionalK = S[c].Gamma * C[ConstantRowOfComplex(hydroxideRow)].K *
                                                           LigandGammaForComplexes(species::Hydroxide) /
                                                           X[hydroxideRow].Gamma;
      for (int h = 0; h <= 4; ++h) {
        const int l = h + 7;
        const int m = ComplexRow(h + 1, r);
        C[ConstantRowOfComplex(m)].ConditionalK =
            S[c].Gamma * C[ConstantRowOfComplex(m)].K * LigandGammaForComplexes(l) / X[m].Gamma;
      }
    }
    Check("referring the formation constants of the complexes to concentrations",
          "an activity coefficient is 0 or a constant out of range; check the constants and the sample");
  }

  // Free OH- = total / (1 + sum of K' x free cation).
  void BalanceHydroxide() {
    state_.FreeHydroxide =
        S[2].TotalConc / (S[3].FreeConc * C[7].ConditionalK + 1.0 + S[4].FreeConc * C[8].ConditionalK +
                          S[5].FreeConc * C[9].ConditionalK + S[6].FreeConc * C[10].ConditionalK);
    S[2].FreeConc = state_.FreeHydroxide;
    Check("solving the mass balance of hydroxide", kDivergence);
  }

  // Each free ligand from its total and the cations of the last pass;
  // its relative change (%) decides when the inner passes end.
  void BalanceLigands() {
    for (int h = 0; h <= 4; ++h) {
      const int l = h + 7;
      const int k = ConstantRowOfComplex(ComplexRow(h + 1, 1));
      S[l].NextFreeConc =
          S[l].TotalConc / (C[k].ConditionalK * S[3].FreeConc + 1.0 + C[k + 1].ConditionalK * S[4].FreeConc +
                            C[k + 2].ConditionalK * S[5].FreeConc + C[k + 3].ConditionalK * S[6].FreeConc);
      if (S[l].NextFreeConc != 0.0)
        S[l].PercentChange = std::fabs((S[l].NextFreeConc - S[l].FreeConc) / S[l].NextFreeConc) * 100.0;
      S[l].FreeConc = S[l].NextFreeConc;
    }
    Check("solving the mass balances of the ligands", kDivergence);
  }

  // Each free cation from its total and the ligands just updated.
  void BalanceCations() {
    for (int r = 1; r <= 4; ++r) {
      const int c = r + 2;
      const auto K = [&](int h) { return C[ConstantRowOfComplex(ComplexRow(h, r))].ConditionalK; };
      S[c].FreeConc = S[c].TotalConc / (K(0) * S[2].FreeConc + 1.0 + K(1) * S[7].FreeConc + K(2) * S[8].FreeConc +
                                        K(3) * S[9].FreeConc + K(4) * S[10].FreeConc + K(5) * S[11].FreeConc);
    }
    Check("solving the mass balances of the cations", kDivergence);
  }

  bool LigandsSettled() const {
    bool settled = true;
    for (int l = 7; l <= 11; ++l) settled = settled && S[l].PercentChange <= state_.MachineEpsilon;
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
    for (int r = 1; r <= 4; ++r) {
      const int c = r + 2;
      X[ComplexRow(0, r)].FreeConc =
          S[c].FreeConc * C[ConstantRowOfComplex(ComplexRow(0, r))].ConditionalK * S[2].FreeConc;
      for (int h = 0; h <= 4; ++h) {
        const int m = ComplexRow(h + 1, r);
        X[m].FreeConc = S[c].FreeConc * C[ConstantRowOfComplex(m)].ConditionalK * S[h + 7].FreeConc;
      }
    }
    Check("computing the complex concentrations", kDivergence);
  }

  // I = 1/2 sum z^2 c over the free ions of rows 3 to 11 and the
  // complexes. The procedure as specified leaves H+ and OH- out; the
  // ion-association model counts them first (which matters in acid or
  // alkaline waters of low salinity).
  void SumIonicStrength() {
    double& sum = state_.NewIonicStrength;
    sum = 0.0;
    if (ionAssociation_)
      for (int n : {species::Hydrogen, species::Hydroxide})
        sum = sum + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].FreeConc);
    for (int n = 3; n <= 11; ++n) sum = sum + std::pow(S[n].Charge, 2.0) * (0.5 * S[n].FreeConc);
    for (int n = 1; n <= 24; ++n) sum = sum + std::pow(X[n].Charge, 2.0) * (0.5 * X[n].FreeConc);
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
    return outer > kPassLimit || !(state_.IonicStrengthChange > state_.MachineEpsilon);
  }

  // A negative free concentration comes only from a negative total: no water
  // has one.
  void RequirePossibleConcentrations() {
    for (int n = 1; n <= 11; ++n)
      if (!NonNegativeAndFinite(S[n].FreeConc)) [[unlikely]]
        throw SampleFailure("the free concentration of " + std::string(SpeciesName(n)) + " came out " +
                            Num(S[n].FreeConc * 1000.0) + " mmol/L: a negative total (" + Num(S[n].TotalConc * 1000.0) +
                            " mmol/L) is impossible; check the sample's concentrations");
    for (int m = 1; m <= 24; ++m)
      if (!NonNegativeAndFinite(X[m].FreeConc)) [[unlikely]]
        throw SampleFailure("the concentration of complex row " + std::to_string(m) + " came out " +
                            Num(X[m].FreeConc * 1000.0) +
                            " mmol/L: a negative total of one of its ions is impossible; check the sample's "
                            "concentrations");
  }

  // A loop that ended at its pass limit while still changing gives no
  // result. A quantity that no longer moves has converged whatever its stale
  // change says (a ligand without total keeps the PercentChange of an earlier
  // solve; a sample without ions its IonicStrengthChange).
  void RequireConvergence() const {
    const int passes = kPassLimit + 1;
    if (counters_[counters::OuterPasses] > kPassLimit && state_.NewIonicStrength != 0.0 &&
        state_.IonicStrengthChange > kConvergedPercent) [[unlikely]]
      throw SampleFailure("did not converge after " + std::to_string(passes) +
                          " passes: the ionic strength still changes by " + Num(state_.IonicStrengthChange) +
                          "% per pass");
    if (counters_[counters::InnerPasses] <= kPassLimit) return;
    for (int l = 7; l <= 11; ++l)
      if (S[l].FreeConc != 0.0 && S[l].PercentChange > kConvergedPercent) [[unlikely]]
        throw SampleFailure("did not converge after " + std::to_string(passes) +
                            " passes of the mass balances: the free concentration of " + SpeciesName(l) +
                            " still changes by " + Num(S[l].PercentChange) + "% per pass");
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
  bool damped_ = false;                    // the passes after an unconverged iteration (RetryDamped)
  double dampedFraction_ = 0.0;            // F/T of OH- used in the last damped pass
  double daviesA_ = activity::kDaviesA25C; // (L/mol)^0.5, at the sample's temperature when given
};

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
