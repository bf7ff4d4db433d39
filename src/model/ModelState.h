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
enum class CarbonatePair { None, AlkalinityPH, AlkalinityPCO2, BicarbonateCarbonate };
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

  // Batch walk. Wide enough for every row a worksheet can have.
  std::int64_t CurrentSample = 0;
  std::int64_t SampleRowCounter = 0;
  double SampleCount = 0.0;
  double SampleNumber = 0.0;
  double ProgressPercent = 0.0;

  bool operator==(const ModelState&) const = default;
};

} // namespace vontralek
