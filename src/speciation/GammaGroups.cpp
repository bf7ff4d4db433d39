#include "speciation/GammaGroups.h"

#include <cmath>

#include "speciation/ActivityCoefficients.h"
#include "speciation/FloatingPointFaults.h"

namespace vontralek::speciation_detail {

namespace {

// 0 charged (keyed on |z|), 1 neutral species, 2 neutral complex with the
// quadratic rule, 3 any other neutral complex.
int Formula(double charge, bool isComplex, int row) {
  if (charge != 0.0) return 0;
  if (!isComplex) return 1;
  return activity::UsesQuadraticNeutralRule(row) ? 2 : 3;
}

} // namespace

GammaGroups::GammaGroups(const ModelState& state) {
  for (int n : species::All) speciesGroup_[n] = GroupOf(state.SpeciesTable[n].Charge, false, n);
  speciesGroups_ = count_;
  for (int n : complex::All) complexGroup_[n] = GroupOf(state.ComplexTable[n].Charge, true, n);
}

int GammaGroups::GroupOf(double charge, bool isComplex, int row) {
  const int formula = Formula(charge, isComplex, row);
  const double magnitude = std::fabs(charge);
  for (int g = 0; g < count_; ++g) {
    const Group& group = groups_[static_cast<std::size_t>(g)];
    if (Formula(group.charge, group.isComplex, group.row) != formula) continue;
    if (formula != 0 || std::fabs(group.charge) == magnitude) return g;
  }
  groups_[static_cast<std::size_t>(count_)] = {charge, isComplex, row, 0.0};
  return count_++;
}

void GammaGroups::Evaluate(int first, int last, double I, double daviesA, bool checkEachStep, int pass) {
  const auto root = [this](double i) { return rootI_.Of(i, [](double x) { return std::pow(x, 0.5); }); };
  for (int g = first; g < last; ++g) {
    Group& group = groups_[static_cast<std::size_t>(g)];
    group.gamma = activity::EvaluateActivityCoefficient(I, group.charge, group.isComplex, group.row, daviesA, root);
    CheckStep(checkEachStep, [&] {
      return StepAndCause{ActivityFaultStep(group.charge, group.isComplex, group.row) + " in outer pass " +
                              std::to_string(pass),
                          ActivityFaultCause(I, group.charge)};
    });
  }
}

} // namespace vontralek::speciation_detail
