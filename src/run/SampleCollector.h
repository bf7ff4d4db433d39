#pragma once

// The samples of a run as the doors draw them: each sample's major ions in
// meq/L, handed over in input order as the run writes it. The run knows no
// diagram; a door that wants one sets a collector in its options.

#include <optional>
#include <string>

#include "model/ModelState.h"

namespace vontralek {

// The analytical totals of a solved sample in meq/L (mmol/L times the charge
// number of worksheet 4), and its alkalinity (eq/L x 1000: the given one, or
// HCO3- + 2 CO3 2- + OH- - H+ with bicarbonate and carbonate given), which
// stands for HCO3- + CO3 2- in the diagrams.
struct MajorIons {
  double ca = 0, mg = 0, na = 0, k = 0, cl = 0, no3 = 0, so4 = 0, alkalinity = 0;
};
MajorIons MajorIonsOf(const ModelState& solved);

class SampleCollector {
public:
  virtual ~SampleCollector() = default;
  // One sample as the run wrote it, on the run's calling thread in input
  // order: name is the sample's name (Batch column A, a table's sample
  // column) or its number; ions none for a sample that failed.
  virtual void Collect(const std::string& name, const std::optional<MajorIons>& ions) = 0;
};

} // namespace vontralek
