#pragma once

// What the chemistry's tests share: the shipped parameters with a sample put
// in, the example waters, tables of reference numbers by heading, and the
// mass balances of a solved state.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "DefaultParameters.h"
#include "speciation/Speciation.h"

namespace vontralek {

// The one-letter pair codes of the tables of reference numbers.
inline CarbonatePair CarbonatePairFromCode(std::string_view code) {
  return code == "A"   ? CarbonatePair::AlkalinityPH
         : code == "B" ? CarbonatePair::AlkalinityPCO2
         : code == "C" ? CarbonatePair::BicarbonateCarbonate
                       : CarbonatePair::None;
}

} // namespace vontralek

namespace vontralek::testsupport {

// The shipped parameters with one water put in, before any solve.
inline ModelState Sample(const testdata::ExampleWater& water, CarbonatePair pair,
                         SpeciationModel model = SpeciationModel::AsSpecified) {
  ModelState s;
  testdata::LoadDefaultParameters(s, VONTRALEK_DATA_DIR);
  ComputeMachineEpsilon(s);
  s.InputPair = pair;
  s.Model = model;
  testdata::PutSample(s, water);
  return s;
}

inline const std::vector<testdata::ExampleWater>& Waters() {
  static const std::vector<testdata::ExampleWater> waters = testdata::LoadExampleWaters(VONTRALEK_DATA_DIR);
  return waters;
}

// A CSV file without quoted fields (line ends LF or CRLF), one map from
// heading to text per line.
inline std::vector<std::map<std::string, std::string>> ReadTable(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  const auto split = [](std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::istringstream stream(line);
    for (std::string field; std::getline(stream, field, ',');) fields.push_back(field);
    return fields;
  };
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> headings = split(line);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line) && !line.empty() && line != "\r") {
    const std::vector<std::string> fields = split(line);
    auto& row = rows.emplace_back();
    for (std::size_t i = 0; i < fields.size() && i < headings.size(); ++i) row[headings[i]] = fields[i];
  }
  return rows;
}

// The largest relative gap of the mass balances of hydroxide, the cations and
// the ligands (species rows 2 to 11): total = free + the complexes that hold
// the ion. Complex row 4h + r joins cation r (row r + 2) with hydroxide (h = 0)
// or ligand h (row h + 6). A row with total 0 must hold nothing.
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
