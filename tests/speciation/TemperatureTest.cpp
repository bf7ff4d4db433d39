#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "speciation/Temperature.h"

namespace vontralek {
namespace {

// The fields of a CSV line up to the first quoted one (the data files quote
// only their last, free-text column).
std::vector<std::string> LeadingFields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line.substr(0, line.find('"')));
  for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
  return fields;
}

std::vector<std::vector<std::string>> Rows(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line) && !line.empty()) rows.push_back(LeadingFields(line));
  return rows;
}

// Reference: the Bradley-Pitzer permittivity, Kell density and the slope
// formula evaluated independently at 0 to 90 °C, beside PHREEQC's own A.
TEST(WaterAtTemperature, PermittivityDensityAndDaviesSlopeMatchTheReferenceTable) {
  const auto rows = Rows(VONTRALEK_TEST_DATA_DIR "/davies-a-temperature.csv");
  ASSERT_EQ(rows.size(), 13u);
  for (const auto& f : rows) { // temp_C, A_phreeqc, A_formula, eps, rho
    const double T = std::stod(f[0]) + ZeroCelsiusK;
    const double aPhreeqc = std::stod(f[1]), aFormula = std::stod(f[2]), eps = std::stod(f[3]), rho = std::stod(f[4]);
    EXPECT_NEAR(WaterDielectricConstant(T), eps, 1e-9 * eps) << f[0];
    EXPECT_NEAR(WaterDensity(T), rho, 1e-9 * rho) << f[0];
    EXPECT_NEAR(DaviesSlope(T), aFormula, 1e-9 * aFormula) << f[0];
    EXPECT_NEAR(DaviesSlope(T), aPhreeqc, 7.4e-6) << f[0];
  }
}

TEST(WaterAtTemperature, LogKIsAnchoredAtTwentyFiveDegrees) {
  std::map<int, TemperatureRecord> records;
  std::map<int, double> logK25;
  for (const auto& f : Rows(std::string(VONTRALEK_DATA_DIR) + "/logk-temperature.csv")) {
    const int row = std::stoi(f[0]);
    logK25[row] = std::stod(f[2]);
    TemperatureRecord& r = records[row];
    r.Form = ParseTemperatureForm(f[3]).value();
    for (int i = 1; i <= 6; ++i) r.A[i] = f.size() > std::size_t(3 + i) && !f[3 + i].empty() ? std::stod(f[3 + i]) : 0;
    r.DeltaH = f.size() > 10 && !f[10].empty() ? std::stod(f[10]) : 0;
  }
  ASSERT_EQ(records.size(), 30u);
  // Evaluated by hand (40 digits) from the coefficients of the data file:
  // log K25 + f(T) - f(298.15); Kw analytic, calcite analytic, CaSO4 and NaCO3-
  // van 't Hoff (ΔH 6.9036 and 37.27944 kJ/mol).
  struct Case {
    int row;
    double celsius, logK;
  } cases[] = {{2, 5, -14.732200515041489},  {2, 60, -13.032296575973562}, {5, 5, -8.3941936135501972},
               {5, 60, -8.7587958790267144}, {21, 5, 2.213038010904417},   {21, 60, 2.4270593883149894},
               {27, 5, 0.80040525888385168}, {27, 60, 1.956120696900943}};
  for (const Case& c : cases)
    EXPECT_NEAR(LogKAtTemperature(logK25[c.row], records[c.row], c.celsius + ZeroCelsiusK), c.logK, 1e-11)
        << "row " << c.row << " at " << c.celsius;
  for (int row = 1; row <= 30; ++row) // at 25 °C the anchor comes back
    EXPECT_NEAR(LogKAtTemperature(logK25[row], records[row], ReferenceTemperatureK), logK25[row], 1e-12) << row;
  // An absent constant stays absent whatever its data; no form, no change.
  EXPECT_EQ(LogKAtTemperature(0.0, records[21], 333.15), 0.0);
  EXPECT_EQ(LogKAtTemperature(0.0, records[2], 333.15), 0.0);
  EXPECT_EQ(LogKAtTemperature(1.25, TemperatureRecord{}, 333.15), 1.25);

  EXPECT_EQ(ParseTemperatureForm(" Van 't Hoff "), TemperatureForm::VantHoff);
  EXPECT_EQ(ParseTemperatureForm(""), TemperatureForm::None);
  EXPECT_FALSE(ParseTemperatureForm("linear").has_value());
}

} // namespace
} // namespace vontralek
