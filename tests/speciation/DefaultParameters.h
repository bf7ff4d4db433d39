#pragma once

// The shipped constants and example waters (data/*.csv) as model states, for
// the tests and, header-only, the benchmark of the chemistry.

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/ModelState.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek::testdata {

// The lines of a CSV file after its heading, split at every comma. Quoted
// texts may hold commas, so callers take numbers from the ends of a line.
inline std::vector<std::vector<std::string>> ReadCsvRows(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line, field; std::getline(in, line) && !line.empty();)
    for (std::istringstream fields((rows.emplace_back(), line)); std::getline(fields, field, ',');)
      rows.back().push_back(field);
  rows.erase(rows.begin()); // the heading
  return rows;
}

// Charges of the shipped workbook: H+, OH-, Na+, K+, Ca2+, Mg2+, Cl-, NO3-,
// SO4 2-, HCO3-, CO3 2- (row 12, CO2, stays 0), and the complexes of Na+, K+,
// Ca2+, Mg2+ with OH-, Cl-, NO3-, SO4 2-, HCO3-, CO3 2-.
inline constexpr double kSpeciesCharges[11] = {1, -1, 1, 1, 2, 2, -1, -1, -2, -1, -2};
inline constexpr double kComplexCharges[24] = {0,  0,  1, 1, 0, 0, 1, 1, 0,  0,  1, 1,
                                               -1, -1, 0, 0, 0, 0, 1, 1, -1, -1, 0, 0};

// LogK from the shipped CSV (row, reaction, logK, source), the charges above,
// every weight 1.
inline void LoadDefaultParameters(ModelState& state, const std::string& dataDir) {
  const auto rows = ReadCsvRows(dataDir + "/default-logk.csv");
  for (const auto& f : rows) state.ConstantTable[std::stoi(f.at(0))].LogK = std::stod(f.at(2));
  for (int n = 1; n <= 24; ++n) {
    if (n <= 11) state.SpeciesTable[n] = {.Charge = kSpeciesCharges[n - 1], .SumWeight = 1.0};
    state.ComplexTable[n] = {.Charge = kComplexCharges[n - 1], .SumWeight = 1.0};
  }
}

// A water analysis as the workbook holds it, in mmol/L and meq/L; the totals
// are those of species rows 3 to 9 (Na, K, Ca, Mg, Cl, NO3, SO4).
struct ExampleWater {
  std::string id;
  double pH = 0, alkalinity = 0, totals[7] = {};
};

// id, description, source, then pH, alk_meq_L, Na, K, Ca, Mg, Cl, NO3, SO4.
inline std::vector<ExampleWater> LoadExampleWaters(const std::string& dataDir) {
  std::vector<ExampleWater> waters;
  for (const auto& f : ReadCsvRows(dataDir + "/example-waters.csv")) {
    const auto number = [&f](std::size_t i) { return std::stod(f.at(f.size() - 9 + i)); };
    ExampleWater& water = waters.emplace_back(ExampleWater{f.at(0), number(0), number(1)});
    for (std::size_t i = 0; i < 7; ++i) water.totals[i] = number(i + 2);
  }
  return waters;
}

// The sample into the model as the run puts it, divided by 1000 into mol/L and eq/L.
inline void PutSample(ModelState& state, const ExampleWater& water) {
  for (int n = 3; n <= 9; ++n) state.SpeciesTable[n].TotalConc = water.totals[n - 3] / 1000;
  state.Alkalinity = water.alkalinity / 1000;
  state.PH = water.pH;
}

// Fixed start value and scale of the weighted sum, as worksheet 4 would give.
struct FixedWeightedSum : WeightedSumSource {
  FixedWeightedSum(double start = 0.0, double scale = 1.0) : start(start), scale(scale) {}
  void LoadWeightedSumParameters(ModelState& state) override {
    state.AuxTable[WeightedSumRecord] = {start, scale};
    ++calls;
  }
  double start, scale;
  int calls = 0;
};

} // namespace vontralek::testdata
