#include "labdata/MolarMasses.h"

#include <fstream>
#include <string_view>
#include <vector>

#include "labdata/LabUnits.h"

namespace vontralek::labdata {
namespace {

// The species names of the CSV by species row.
constexpr std::string_view kSpecies[MolarMassSpeciesCount + 1] = {"",     "H+",  "OH-",  "Na+",    "K+",    "Ca2+",
                                                                  "Mg2+", "Cl-", "NO3-", "SO4 2-", "HCO3-", "CO3 2-"};

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == ',')
      fields.emplace_back();
    else if (c != '\r')
      fields.back() += c;
  }
  return fields;
}

} // namespace

MolarMasses LoadMolarMasses(std::istream& in, const std::string& name) {
  MolarMasses masses;
  std::string line;
  const auto fail = [&name](int lineNumber, const std::string& why) {
    throw LabDataError(Problem::BadMolarMass, name + " line " + std::to_string(lineNumber) + ": " + why);
  };
  std::getline(in, line); // the heading
  for (int lineNumber = 2; std::getline(in, line); ++lineNumber) {
    if (line.empty() || line == "\r") continue;
    if (line.find('"') != std::string::npos) fail(lineNumber, "quoted fields are not expected here");
    const std::vector<std::string> fields = SplitFields(line);
    if (fields.size() < 4) fail(lineNumber, "expected species, column, composition and molar mass");
    double mass = 0;
    try {
      mass = ParseNumber(fields[3]);
      CheckMolarMass(mass);
    } catch (const LabDataError& e) {
      fail(lineNumber, e.what());
    }
    if (fields[0] == "CaCO3")
      masses.CaCO3 = mass;
    else if (fields[0] == "N")
      masses.Nitrogen = mass;
    else if (fields[0] == "C")
      masses.Carbon = mass;
    else {
      int row = 1;
      while (row <= MolarMassSpeciesCount && kSpecies[row] != fields[0]) ++row;
      if (row > MolarMassSpeciesCount) fail(lineNumber, "unknown species \"" + fields[0] + "\"");
      masses.species[row] = mass;
    }
  }
  for (int row = 1; row <= MolarMassSpeciesCount; ++row)
    if (masses.species[row] == 0)
      throw LabDataError(Problem::BadMolarMass, name + ": no molar mass for " + std::string(kSpecies[row]));
  if (masses.CaCO3 == 0 || masses.Nitrogen == 0 || masses.Carbon == 0)
    throw LabDataError(Problem::BadMolarMass, name + ": no molar mass for CaCO3, N or C");
  return masses;
}

MolarMasses LoadMolarMasses(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw LabDataError(Problem::BadMolarMass, "cannot open the molar masses " + path);
  return LoadMolarMasses(in, path);
}

} // namespace vontralek::labdata
