#pragma once

// What the chemistry's tests and its benchmark share: tables of numbers by heading, the shipped constants and example
// waters (data/*.csv) as model states, a fixed weighted sum, and the mass balances of a solved state.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "model/ModelState.h"
#include "speciation/Speciation.h"
#include "speciation/WeightedSumSource.h"
#include "table/Csv.h"

namespace vontralek::testsupport {

using Row = std::map<std::string, std::string>;

// A CSV file, one map from heading to text per line; lines starting with "#" are comments.
inline std::vector<Row> ReadTable(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::stringstream body;
  for (std::string line; std::getline(in, line);)
    if (!line.starts_with("#")) body << line << '\n';
  table::CsvReader reader(body, path);
  std::vector<Row> rows;
  for (std::vector<std::string> fields; reader.Next(fields);) {
    Row& row = rows.emplace_back();
    for (std::size_t i = 0; i < fields.size(); ++i) row[reader.Header()[i]] = fields[i];
  }
  return rows;
}

inline double Number(const Row& row, const std::string& heading) { return std::stod(row.at(heading)); }

// Charges of the shipped workbook: H+, OH-, Na+, K+, Ca2+, Mg2+, Cl-, NO3-, SO4 2-, HCO3-, CO3 2- (row 12, CO2, stays
// 0), and the complexes of Na+, K+, Ca2+, Mg2+ with OH-, Cl-, NO3-, SO4 2-, HCO3-, CO3 2-.
inline constexpr double kSpeciesCharges[11] = {1, -1, 1, 1, 2, 2, -1, -1, -2, -1, -2};
inline constexpr double kComplexCharges[24] = {0,  0,  1, 1, 0, 0, 1, 1, 0,  0,  1, 1,
                                               -1, -1, 0, 0, 0, 0, 1, 1, -1, -1, 0, 0};

// A water analysis as the workbook holds it (mmol/L, meq/L); totals of species rows 3-9 (Na, K, Ca, Mg, Cl, NO3, SO4).
struct ExampleWater {
  std::string id;
  double pH = 0, alkalinity = 0, totals[7] = {};
};

inline const std::vector<ExampleWater>& Waters() {
  static const std::vector<ExampleWater> waters = [] {
    std::vector<ExampleWater> list;
    for (const Row& f : ReadTable(VONTRALEK_DATA_DIR "/example-waters.csv")) {
      ExampleWater& water = list.emplace_back(ExampleWater{f.at("id"), Number(f, "pH"), Number(f, "alk_meq_L")});
      const char* const ions[7] = {"Na", "K", "Ca", "Mg", "Cl", "NO3", "SO4"};
      for (int i = 0; i < 7; ++i) water.totals[i] = Number(f, ions[i]);
    }
    return list;
  }();
  return waters;
}

inline const ExampleWater& Water(const std::string& id) {
  return *std::find_if(Waters().begin(), Waters().end(), [&](const ExampleWater& w) { return w.id == id; });
}

// The sample into the model as the run puts it, divided by 1000 into mol/L and eq/L.
inline void PutSample(ModelState& state, const ExampleWater& water) {
  for (int n = 3; n <= 9; ++n) state.SpeciesTable[n].TotalConc = water.totals[n - 3] / 1000;
  std::tie(state.Alkalinity, state.PH) = std::tuple(water.alkalinity / 1000, water.pH);
}

// The shipped LogK, the charges above, every weight 1, with one water put in, before any solve.
inline ModelState Sample(const ExampleWater& water, CarbonatePair pair,
                         SpeciationModel model = SpeciationModel::AsSpecified) {
  ModelState s;
  for (const Row& f : ReadTable(VONTRALEK_DATA_DIR "/default-logk.csv"))
    s.ConstantTable[std::stoi(f.at("row"))].LogK = Number(f, "logK");
  for (int n = 1; n <= 24; ++n) {
    if (n <= 11) s.SpeciesTable[n] = {.Charge = kSpeciesCharges[n - 1], .SumWeight = 1.0};
    s.ComplexTable[n] = {.Charge = kComplexCharges[n - 1], .SumWeight = 1.0};
  }
  ComputeMachineEpsilon(s);
  std::tie(s.InputPair, s.Model) = std::tuple(pair, model);
  PutSample(s, water);
  return s;
}

// The one-letter pair codes of the tables of reference numbers.
inline CarbonatePair PairFromCode(std::string_view code) {
  return code == "A"   ? CarbonatePair::AlkalinityPH
         : code == "B" ? CarbonatePair::AlkalinityPCO2
         : code == "C" ? CarbonatePair::BicarbonateCarbonate
                       : CarbonatePair::None;
}

// data/logk-temperature.csv through the loader-independent reader, as the table mode fills the state.
inline Table<TemperatureRecord, 30> ShippedTemperatureData() {
  static const std::vector<Row> table = ReadTable(VONTRALEK_DATA_DIR "/logk-temperature.csv");
  const char* const headings[TemperatureFields] = {"form", "A1", "A2", "A3", "A4", "A5", "A6", "delta_h_kJ_mol"};
  TemperatureDataRows rows{};
  for (const Row& row : table)
    for (int field = 0; field < TemperatureFields; ++field)
      rows[std::stoul(row.at("row")) - 1][field].text = row.at(headings[field]);
  Table<TemperatureRecord, 30> data;
  FillTemperatureTable(data, rows);
  return data;
}

// A water at its own temperature in °C, with the ion-association model.
inline ModelState AtTemperature(const ExampleWater& water, CarbonatePair pair, double celsius) {
  ModelState s = Sample(water, pair, SpeciationModel::IonAssociation);
  s.TemperatureTable = ShippedTemperatureData();
  std::tie(s.TemperatureGiven, s.TemperatureC) = std::tuple(true, celsius);
  return s;
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

// The largest relative gap of the mass balances of hydroxide, the cations and the ligands (species rows 2 to 11):
// total = free + the complexes that hold the ion. Complex row 4h + r joins cation r (row r + 2) with hydroxide
// (h = 0) or ligand h (row h + 6). A row with total 0 must hold nothing.
inline double LargestMassBalanceGap(const ModelState& s) {
  double gap = 0.0;
  for (int row = 2; row <= 11; ++row) {
    double bound = s.SpeciesTable[row].FreeConc;
    for (int h = 0; h <= 5; ++h)
      for (int r = 1; r <= 4; ++r)
        if (r + 2 == row || (h == 0 ? 2 : h + 6) == row) bound += s.ComplexTable[4 * h + r].FreeConc;
    const double total = s.SpeciesTable[row].TotalConc;
    gap = std::max(gap, total == 0.0 ? std::fabs(bound) : std::fabs(bound - total) / std::fabs(total));
  }
  return gap;
}

} // namespace vontralek::testsupport
