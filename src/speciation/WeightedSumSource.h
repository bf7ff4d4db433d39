#pragma once

namespace vontralek {

struct ModelState;

// Where the start value and the scale of the weighted charge sum come from.
// The chemistry knows no workbook: the run supplies an implementation that
// reads them from worksheet 4; tests supply fixed numbers.
class WeightedSumSource {
public:
  virtual ~WeightedSumSource() = default;
  // Sets the weighted-sum record of AuxTable: WeightedSum (start value) and SumScale.
  virtual void LoadWeightedSumParameters(ModelState& state) = 0;
};

} // namespace vontralek
