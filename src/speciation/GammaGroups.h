#pragma once

// The activity coefficients of one outer pass, shared: a coefficient depends
// only on the ionic strength, |z| (z enters only squared) and, for neutral
// entries, on the table and the row rule, so the 36 entries of the species and
// complex tables share a handful of evaluations.

#include <array>

#include "model/ModelState.h"
#include "speciation/SpeciationDetail.h"

namespace vontralek::speciation_detail {

// The entries that share one activity-coefficient evaluation: the same
// formula with the same inputs apart from the sign of a charge.
class GammaGroups {
public:
  // Groups the entries by the charges and rows of the state's tables, species
  // rows first: groups [0, SpeciesGroups()) hold every species row.
  explicit GammaGroups(const ModelState& state);

  int SpeciesGroups() const { return speciesGroups_; }
  int Count() const { return count_; }
  double OfSpecies(int row) const { return groups_[static_cast<std::size_t>(speciesGroup_[row])].gamma; }
  double OfComplex(int row) const { return groups_[static_cast<std::size_t>(complexGroup_[row])].gamma; }

  // Evaluates groups [first, last) at ionic strength I with the Davies slope
  // daviesA, testing each if asked (pass: the outer pass, for the message).
  void Evaluate(int first, int last, double I, double daviesA, bool checkEachStep, int pass);

private:
  struct Group {
    double charge;  // of the first entry, in the order species 1..12, complexes 1..24
    bool isComplex; // of the first entry
    int row;        // of the first entry
    double gamma;
  };

  int GroupOf(double charge, bool isComplex, int row);

  std::array<Group, species::Count + complex::Count> groups_;
  int count_ = 0;
  int speciesGroups_ = 0;
  std::array<int, species::Count + 1> speciesGroup_{};
  std::array<int, complex::Count + 1> complexGroup_{};
  RememberedValue rootI_; // sqrt(I) of the charged groups
};

} // namespace vontralek::speciation_detail
