#pragma once

namespace vontralek {

struct ModelState;

// Where the start value and the scale of the weighted charge sum come from.
// The chemistry knows no workbook: the run supplies an implementation that
// reads them from worksheet 4; tests supply fixed numbers.
class WeightedSumSource {
public:
  virtual ~WeightedSumSource() = default;
  // Sets AuxTable[11].WeightedSum (start value) and AuxTable[11].SumScale.
  virtual void LoadWeightedSumParameters(ModelState& state) = 0;
};

} // namespace vontralek
