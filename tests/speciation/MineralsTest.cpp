// Saturation indices of the phase table, the activity of water and the water-quality values. Against PHREEQC 3.8.8
// (data/reference-minerals.csv: the SI of every phase of data/phases.csv and log a(H2O) for the five example waters,
// alkalinity and pH given, at 5 to 60 °C), and against hand arithmetic written out below.

#include <cmath>
#include <iostream>

#include <gtest/gtest.h>

#include "SpeciationTestSupport.h"
#include "speciation/SaturationIndices.h"
#include "speciation/WaterQuality.h"

namespace vontralek {
namespace {

using namespace testsupport;

FixedWeightedSum weights;

// data/phases.csv, read here on its own: analytic where A1 is given, else van 't Hoff with dH.
PhaseTable PhasesOfTheDataFile() {
  PhaseTable phases;
  const char* const species[PhaseSpeciesCount] = {"Ca+2",  "Mg+2",  "Na+",   "K+", "Cl-", "NO3-",
                                                  "SO4-2", "CO3-2", "HCO3-", "H+", "H2O"};
  for (const Row& row : ReadTable(VONTRALEK_DATA_DIR "/phases.csv")) {
    Phase& p = phases.emplace_back();
    p.name = row.at("phase");
    for (int i = 0; i < PhaseSpeciesCount; ++i) p.coefficient[static_cast<std::size_t>(i)] = Number(row, species[i]);
    p.LogK25 = Number(row, "log_k_25");
    if (!row.at("A1").empty()) {
      p.temperature.Form = TemperatureForm::Analytic;
      for (const char* a : {"A1", "A2", "A3", "A4", "A5", "A6"})
        p.temperature.A[static_cast<std::size_t>(a[1] - '0')] = Number(row, a);
    } else {
      p.temperature = {TemperatureForm::VantHoff, {}, Number(row, "dH_kJ_mol")};
    }
  }
  return phases;
}

TEST(Minerals, SaturationIndicesAndWaterActivityAgreeWithPhreeqc) {
  const PhaseTable phases = PhasesOfTheDataFile();
  ASSERT_EQ(phases.size(), 18u);
  double worst = 0.0;
  for (const Row& expected : ReadTable(SPECIATION_TEST_DATA "/reference-minerals.csv")) {
    const double t = Number(expected, "temp_C");
    ModelState s = AtTemperature(Water(expected.at("id")), CarbonatePair::AlkalinityPH, t);
    SolveSpeciation(s, weights);
    const std::string label = expected.at("id") + " at " + expected.at("temp_C") + " °C: ";
    const auto check = [&](double actual, const std::string& name) {
      const double gap = std::fabs(actual - Number(expected, name));
      EXPECT_LE(gap, 1e-6) << label << name;
      worst = std::max(worst, gap);
    };
    ASSERT_TRUE(s.LogWaterActivityDefined);
    check(s.LogWaterActivity, "log_a_H2O");
    const std::vector<SaturationIndex> si = PhaseSaturationIndices(s, phases);
    for (std::size_t p = 0; p < phases.size(); ++p) {
      ASSERT_TRUE(si[p].defined) << label << phases[p].name;
      check(si[p].value, "SI_" + phases[p].name);
    }
    // Constants 5 and 6 are calcite and gypsum: the model's own SI, gypsum with its two waters.
    check(s.SaturationIndexCalcite, "SI_Calcite");
    check(s.SaturationIndexGypsum, "SI_Gypsum");
  }
  std::cout << "largest deviation " << worst << "\n";
}

// a_w = 1 - 0.017 Σ m over every solute species; the specified model keeps a_w = 1 and its SI gypsum unchanged.
TEST(Minerals, WaterActivitySumsEverySoluteAndLeavesTheSpecifiedModelAlone) {
  ModelState s = Sample(Water("SW"), CarbonatePair::AlkalinityPH, SpeciationModel::IonAssociation);
  SolveSpeciation(s, weights);
  double m = 0.0;
  for (int n = 1; n <= 12; ++n) m += s.SpeciesTable[n].FreeConc;
  for (int n = 1; n <= 24; ++n) m += s.ComplexTable[n].FreeConc;
  EXPECT_NEAR(s.LogWaterActivity, std::log10(1 - 0.017 * m), 1e-15);
  EXPECT_LT(s.LogWaterActivity, -0.008); // seawater: about 2 % of its water bound
  EXPECT_NEAR(s.SaturationIndexGypsum, s.LogIapCaSO4 + 2 * s.LogWaterActivity + 4.5809, 1e-12);

  ModelState specified = Sample(Water("SW"), CarbonatePair::AlkalinityPH);
  SolveSpeciation(specified, weights);
  EXPECT_EQ(specified.LogWaterActivity, 0.0);
  EXPECT_EQ(specified.SaturationIndexGypsum, specified.LogIapCaSO4 - -4.5809);
}

// A phase whose reaction holds an ion the water lacks has no SI; water and H+ enter with their coefficients.
TEST(Minerals, UndefinedActivitiesGiveNoIndexAndUserPhasesTakeTheirOwnData) {
  ModelState s = Sample(Water("RIV"), CarbonatePair::AlkalinityPH, SpeciationModel::IonAssociation);
  s.SpeciesTable[species::Cation2].TotalConc = 0.0; // no potassium
  SolveSpeciation(s, weights);
  Phase sylvite{"Sylvite", "KCl", {0, 0, 0, 1, 1}, 0.9, {}};
  EXPECT_FALSE(PhaseSaturationIndex(s, sylvite).defined);
  // Antarcticite, CaCl2·6H2O, with made-up constants: log K 4, van 't Hoff ΔH = 10 kJ/mol.
  Phase antarcticite{"Antarcticite", "CaCl2:6H2O", {1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 6}, 4.0, {}};
  antarcticite.temperature = {TemperatureForm::VantHoff, {}, 10.0};
  const auto& S = s.SpeciesTable;
  const double iap = S[5].LogActivity + 2 * S[7].LogActivity + 6 * s.LogWaterActivity;
  EXPECT_NEAR(PhaseSaturationIndex(s, antarcticite).value, iap - 4.0, 1e-12);
  s.TemperatureGiven = true, s.TemperatureC = 10.0;
  // log K(283.15 K) = 4 - 10 (1/283.15 - 1/298.15) / (ln 10 · 0.0083147)
  const double logK10 = 4.0 - 10.0 * (1 / 283.15 - 1 / 298.15) / (std::log(10.0) * 0.0083147);
  EXPECT_NEAR(PhaseSaturationIndex(s, antarcticite).value, iap - logK10, 1e-12);
  // Portlandite + 2 H+ = Ca2+ + 2 H2O: H+ with -2.
  Phase portlandite{"Portlandite", "Ca(OH)2", {1, 0, 0, 0, 0, 0, 0, 0, 0, -2, 2}, 22.8, {}};
  EXPECT_NEAR(PhaseSaturationIndex(s, portlandite).value,
              S[5].LogActivity - 2 * S[1].LogActivity + 2 * s.LogWaterActivity - 22.8, 1e-12);
}

// Hardness, dissolved solids, Larson-Skold and the calcite indices by hand for seawater and river water (25 °C
// constants, Davies A 0.512, molar masses of data/molar-masses.csv).
TEST(Minerals, WaterQualityByHand) {
  std::array<double, 12> M{0, 1.0080, 17.007, 22.990, 39.098, 40.078, 24.305, 35.45, 62.004, 96.056, 61.016, 60.008};
  for (const char* id : {"SW", "RIV"}) {
    const ExampleWater& w = Water(id);
    ModelState s = Sample(w, CarbonatePair::AlkalinityPH, SpeciationModel::IonAssociation);
    SolveSpeciation(s, weights);
    const WaterQuality q = ComputeWaterQuality(s, M);
    const double ca = w.totals[2], mg = w.totals[3]; // mmol/L
    EXPECT_NEAR(q.hardness, ca + mg, 1e-12) << id;
    EXPECT_NEAR(q.hardnessAsCaCO3, (ca + mg) * 100.086, 1e-9) << id;
    EXPECT_NEAR(q.hardnessGerman, (ca + mg) / 0.17833, 1e-9) << id;
    EXPECT_NEAR(q.carbonateHardness, std::min(w.alkalinity / 2, ca + mg), 1e-12) << id;
    const double hco3 = s.SpeciesTable[10].TotalConc * 1000, co3 = s.SpeciesTable[11].TotalConc * 1000; // mmol/L
    const double solids = w.totals[0] * 22.990 + w.totals[1] * 39.098 + ca * 40.078 + mg * 24.305 +
                          w.totals[4] * 35.45 + w.totals[5] * 62.004 + w.totals[6] * 96.056 + co3 * 60.008 +
                          0.4917 * hco3 * 61.016;
    EXPECT_NEAR(q.dissolvedSolids, solids, 1e-9 * solids) << id;
    EXPECT_NEAR(q.larsonSkold, (w.totals[4] + 2 * w.totals[6]) / (hco3 + 2 * co3), 1e-12) << id;
    // pHs = pK2 - pKs + p[Ca] + p[HCO3] + 5 pfm, fm from Davies with A = 0.512.
    const double I = s.IonicStrength, root = std::sqrt(I);
    const double pfm = 0.512 * (root / (1 + root) - 0.3 * I);
    const double pHs = 10.3289 - 8.4798 - std::log10(ca / 1000) - std::log10(hco3 / 1000) + 5 * pfm;
    EXPECT_NEAR(q.lsi, w.pH - pHs, 1e-10) << id;
    EXPECT_NEAR(q.rsi, 2 * pHs - w.pH, 1e-10) << id;
    EXPECT_NEAR(q.psi, 2 * pHs - (1.465 * std::log10(w.alkalinity * 50.043) + 4.54), 1e-10) << id;
  }
}

// With the free calcium and bicarbonate in place of the totals, the Langelier index is the SI of calcite: the
// model's CO3 2- activity is K2 a(HCO3-) / a(H+), and Davies gives f(Ca2+) f(HCO3-) = fm^5 exactly when both are the
// free-ion coefficients at the same ionic strength and slope, as in the ion-association model (here at 15 °C too).
TEST(Minerals, LangelierIndexWithFreeIonsIsTheCalciteSaturationIndex) {
  for (const char* id : {"SW", "MR", "RIV"}) {
    ModelState s = AtTemperature(Water(id), CarbonatePair::AlkalinityPH, 15.0);
    SolveSpeciation(s, weights);
    const double pHs = CalciteSaturationPH(s, s.SpeciesTable[5].FreeConc, s.SpeciesTable[10].FreeConc);
    EXPECT_NEAR(s.PH - pHs, s.SaturationIndexCalcite, 1e-8) << id;
  }
}

} // namespace
} // namespace vontralek
