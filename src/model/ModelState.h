#pragma once

#include <array>
#include <cstdint>

#include "model/Rows.h"
#include "model/Table.h"
#include "model/TemperatureData.h"

namespace vontralek {

// One dissolved species (SpeciesTable) or one complex (ComplexTable).
// Concentrations are in mol/L inside the model.
struct SpeciesRecord {
  double TotalConc = 0.0;     // analytical total, mol/L (SpeciesTable only)
  double FreeConc = 0.0;      // free ion, or the complex's concentration, mol/L
  double NextFreeConc = 0.0;  // free ligand of the current mass-balance pass, mol/L
  double Charge = 0.0;        // signed charge number z, as stored in the workbook
  double Gamma = 0.0;         // activity coefficient
  double LogActivity = 0.0;   // log10(Gamma * TotalConc), SpeciesTable only
  double SumWeight = 0.0;     // weight of the row in the weighted charge sum
  double PercentChange = 0.0; // relative change of FreeConc in the last inner pass, %
  // A log activity exists only for a positive total. Rows whose total is 0 or
  // negative are marked undefined so that no stale number reaches a report.
  bool LogActivityDefined = false;

  bool operator==(const SpeciesRecord&) const = default;
};

struct ConstantRecord {
  double LogK = 0.0;         // log10 of the thermodynamic constant; 0 = absent
  double K = 0.0;            // 10^LogK, or exactly 0 when LogK is 0
  double ConditionalK = 0.0; // the constant referred to concentrations
  // log10 of the K of the last solve: LogK at the sample's temperature, or
  // LogK itself without one. The saturation indices take it.
  double SampleLogK = 0.0;

  bool operator==(const ConstantRecord&) const = default;
};

struct AuxRecord {
  double WeightedSum = 0.0;
  double SumScale = 0.0;

  bool operator==(const AuxRecord&) const = default;
};

// Which sheet a run takes its samples from (the Main sheet: one sample in row 5;
// the Batch sheet: one sample per row from row 2).
enum class DataSheet { None, Main, Batch };
// The two variables of the carbonate system that an analysis gives.
// DIC is the dissolved inorganic carbon, CO2 + HCO3- + CO3 2- with their
// complexes.
enum class CarbonatePair { None, AlkalinityPH, AlkalinityPCO2, BicarbonateCarbonate, DICPH, AlkalinityDIC };
// The speciation model: the procedure as specified (default, bit-identical to
// earlier versions) or the standard ion-association model.
enum class SpeciationModel { AsSpecified, IonAssociation };

// The rows of the tables by name: model/Rows.h.

// Work the solver keeps from one solve to the next so as not to repeat it:
// K = 10^LogK for the LogK values it was last computed from (they do not change
// between the solves of a run), and pass counts for benchmarks and
// diagnostics. It holds no result: two states compare equal whatever it holds.
struct SolverMemo {
  bool constantsValid = false;
  std::array<double, constant::Count> logK{};
  std::array<double, constant::Count> k{};
  std::array<double, constant::Count> sampleLogK{};
  // The temperature the powers were taken at, with the data they came from.
  bool temperatureGiven = false;
  double temperatureC = 0.0;
  double daviesA = 0.0;
  Table<TemperatureRecord, 30> temperatureTable;
  std::int64_t solves = 0;
  std::int64_t outerPasses = 0;
  std::int64_t innerPasses = 0;

  bool operator==(const SolverMemo&) const { return true; }
};

// The whole state of the model: one instance, passed by reference to every
// operation. Everything starts at zero and is never cleared: between the
// samples of a batch, whatever a sample does not overwrite keeps the previous
// sample's value, and the solver starts from it.
// Equilibrium with calcite in a closed system, an extra condition of a solve
// (speciation/Reactions.h): dissolved calcite D (mol/L, negative: deposited)
// raises calcium and DIC by D and the alkalinity by 2 D until the ion activity
// product equals the solubility product. Off in every ordinary solve.
struct CalciteCondition {
  bool active = false;
  double calcium = 0.0;    // the water's calcium before the reaction, mol/L
  double carbon = 0.0;     // its DIC, mol/L
  double alkalinity = 0.0; // its alkalinity, eq/L
  double dissolved = 0.0;  // D of the last pass, mol/L

  bool operator==(const CalciteCondition&) const = default;
};

// What the reactions of a sample gave (speciation/Reactions.h), each group
// valid only when its flag is set.
struct ReactionResults {
  // The water at the evaluation temperature, and in equilibrium with calcite there.
  bool calcite = false;
  double pHEvaluation = 0.0;
  double siCalciteEvaluation = 0.0;
  bool siCalciteEvaluationDefined = false;
  double pHC = 0.0;                 // pH after equilibrium with calcite
  double dissolutionCapacity = 0.0; // calcite dissolved to equilibrium, mol/L (negative: deposited)
  // In equilibrium with the given CO2 pressure, at the sample's temperature.
  bool co2 = false;
  double pHCO2 = 0.0;
  double dicCO2 = 0.0; // mol/L
  double siCalciteCO2 = 0.0;
  bool siCalciteCO2Defined = false;
  double co2Degassed = 0.0; // DIC given off to the gas, mol/L (negative: taken up)

  bool operator==(const ReactionResults&) const = default;
};

struct ModelState {
  Table<SpeciesRecord, species::Count> SpeciesTable;
  Table<SpeciesRecord, complex::Count> ComplexTable;
  Table<ConstantRecord, constant::Count> ConstantTable;
  Table<AuxRecord, 13> AuxTable; // only WeightedSumRecord is used
  // Indexed by counters::OuterPasses and counters::InnerPasses.
  Table<std::int16_t, 4> IterationCounters;
  // How each of the 30 constants depends on temperature (worksheet 3's block,
  // or the table mode's data file); used only with a sample temperature.
  Table<TemperatureRecord, 30> TemperatureTable;

  double PH = 0.0;
  double PCO2 = 0.0;       // in the unit of the workbook's CO2 solubility constant
  double Alkalinity = 0.0; // eq/L
  double DIC = 0.0;        // mol/L, given with the pairs DIC and pH, alkalinity and DIC
  CalciteCondition Calcite;
  ReactionResults Reactions;
  // The water's own temperature, °C. Without it the model keeps the 25 °C
  // log K of worksheet 3 and the Davies slope 0.512, bit for bit as always;
  // with it (25 °C included) log K(T) of every constant and the Davies slope
  // A(T) of water at that temperature apply. Accepted from 0 to 100 °C.
  bool TemperatureGiven = false;
  double TemperatureC = 0.0;
  double IonicStrength = 0.0;        // mol/L
  double NewIonicStrength = 0.0;     // mol/L
  double InitialIonicStrength = 0.0; // mol/L
  double IonicStrengthChange = 0.0;  // %
  double FreeHydroxide = 0.0;        // mol/L
  double MachineEpsilon = 0.0;
  double LogIapCaCO3 = 0.0;
  double LogIapCaSO4 = 0.0;
  bool LogIapCaCO3Defined = false; // false when an activity it needs is undefined
  bool LogIapCaSO4Defined = false;
  // False when pairs "B" and "C" leave no positive H+ total to take the pH from.
  bool PHDefined = false;
  // Saturation indices log(IAP / Ksp) of calcite and gypsum; undefined without
  // the solubility product (LogK 0) or without the ion activity product.
  double SaturationIndexCalcite = 0.0;
  double SaturationIndexGypsum = 0.0;
  bool SaturationIndexCalciteDefined = false;
  bool SaturationIndexGypsumDefined = false;
  // log10 of the activity of water, a_w = 1 - 0.017 Σ m over the solute
  // species (ion-association model); 0 (a_w = 1) with the specified model.
  // Undefined when a_w is not positive.
  double LogWaterActivity = 0.0;
  bool LogWaterActivityDefined = false;
  // 100 (cations - anions) / (cations + anions) in equivalents of the
  // analytical totals, %; 0 for a sample without ions.
  double ChargeBalanceError = 0.0;
  // Activity coefficients of the free ions (Davies at the current ionic
  // strength) before OH-, HCO3- and CO3 2- are referred to their totals; the
  // ion-association model forms its complexes with them.
  Table<double, species::Count> FreeIonGamma;
  double Sar = 0.0;         // (mmol/L)^0.5
  double SarActivity = 0.0; // (mmol/L)^0.5

  DataSheet SheetMode = DataSheet::None;
  CarbonatePair InputPair = CarbonatePair::None;
  SpeciationModel Model = SpeciationModel::AsSpecified;

  SolverMemo Memo;
  // The same for the solves of the reactions at the evaluation temperature,
  // which stays the same from sample to sample.
  SolverMemo EvaluationMemo;
  // A reaction's solve starts from the ionic strength and the free ions of the
  // water it changes (already converged nearby) instead of the first estimate
  // from the totals: the same fixed point in fewer passes. Off in every
  // speciation of a sample.
  bool WarmStart = false;

  // Batch walk. Wide enough for every row a worksheet can have.
  std::int64_t CurrentSample = 0;
  std::int64_t SampleRowCounter = 0;
  double SampleCount = 0.0;
  double SampleNumber = 0.0;
  double ProgressPercent = 0.0;

  bool operator==(const ModelState&) const = default;
};

} // namespace vontralek
