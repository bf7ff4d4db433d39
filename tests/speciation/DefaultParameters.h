#pragma once

// The shipped constants (data/default-logk.csv) and example waters
// (data/example-waters.csv) as model states, for the tests and the benchmark
// of the chemistry. Header-only so that the benchmark can use it without the
// tests being built.

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/ModelState.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek::testdata {

// One CSV line split into fields; a field may be quoted and hold commas.
inline std::vector<std::string> SplitCsvLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char ch : line) {
    if (ch == '"') {
      quoted = !quoted;
    } else if (ch == ',' && !quoted) {
      fields.emplace_back();
    } else if (ch != '\r') {
      fields.back() += ch;
    }
  }
  return fields;
}

inline std::vector<std::vector<std::string>> ReadCsvRows(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line); // heading
  while (std::getline(in, line))
    if (!line.empty()) rows.push_back(SplitCsvLine(line));
  return rows;
}

// Charges of the species and complexes of the shipped workbook: H+, OH-, Na+,
// K+, Ca2+, Mg2+, Cl-, NO3-, SO4 2-, HCO3-, CO3 2- (row 12, CO2, stays 0), and
// the complexes of Na+, K+, Ca2+, Mg2+ with OH-, Cl-, NO3-, SO4 2-, HCO3-, CO3 2-.
inline constexpr double kSpeciesCharges[11] = {1, -1, 1, 1, 2, 2, -1, -1, -2, -1, -2};
inline constexpr double kComplexCharges[24] = {0,  0,  1, 1, 0, 0, 1, 1, 0,  0,  1, 1,
                                               -1, -1, 0, 0, 0, 0, 1, 1, -1, -1, 0, 0};

// LogK from the shipped CSV, the charges above, every weight 1.
inline void LoadDefaultParameters(ModelState& state, const std::string& dataDir) {
  const auto rows = ReadCsvRows(dataDir + "/default-logk.csv");
  if (rows.size() != 30) throw std::runtime_error("default-logk.csv must hold 30 constants");
  for (const auto& fields : rows) state.ConstantTable[std::stoi(fields.at(0))].LogK = std::stod(fields.at(2));
  for (int n = 1; n <= 11; ++n) {
    state.SpeciesTable[n].Charge = kSpeciesCharges[n - 1];
    state.SpeciesTable[n].SumWeight = 1.0;
  }
  for (int n = 1; n <= 24; ++n) {
    state.ComplexTable[n].Charge = kComplexCharges[n - 1];
    state.ComplexTable[n].SumWeight = 1.0;
  }
}

// A water analysis as the workbook holds it: mmol/L, alkalinity in meq/L.
struct ExampleWater {
  std::string id;
  double pH = 0, alkalinity = 0, Na = 0, K = 0, Ca = 0, Mg = 0, Cl = 0, NO3 = 0, SO4 = 0;
};

inline std::vector<ExampleWater> LoadExampleWaters(const std::string& dataDir) {
  std::vector<ExampleWater> waters;
  for (const auto& f : ReadCsvRows(dataDir + "/example-waters.csv")) {
    // id, description, source, pH, alk_meq_L, Na, K, Ca, Mg, Cl, NO3, SO4
    waters.push_back({f.at(0), std::stod(f.at(3)), std::stod(f.at(4)), std::stod(f.at(5)), std::stod(f.at(6)),
                      std::stod(f.at(7)), std::stod(f.at(8)), std::stod(f.at(9)), std::stod(f.at(10)),
                      std::stod(f.at(11))});
  }
  return waters;
}

// The sample into the model as the run puts it: totals of species rows 3 to 9,
// alkalinity and pH, each divided by 1000 into mol/L and eq/L.
inline void PutSample(ModelState& state, const ExampleWater& water) {
  const double totals[7] = {water.Na, water.K, water.Ca, water.Mg, water.Cl, water.NO3, water.SO4};
  for (int n = 3; n <= 9; ++n) state.SpeciesTable[n].TotalConc = totals[n - 3] / 1000;
  state.Alkalinity = water.alkalinity / 1000;
  state.PH = water.pH;
}

// Fixed start value and scale of the weighted sum, as worksheet 4 would give.
class FixedWeightedSum : public WeightedSumSource {
public:
  FixedWeightedSum(double start = 0.0, double scale = 1.0) : start_(start), scale_(scale) {}
  void LoadWeightedSumParameters(ModelState& state) override {
    state.AuxTable[11].WeightedSum = start_;
    state.AuxTable[11].SumScale = scale_;
    ++calls;
  }
  int calls = 0;

private:
  double start_, scale_;
};

} // namespace vontralek::testdata
