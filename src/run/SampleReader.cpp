#include "run/SampleReader.h"

#include <string>
#include <vector>

#include <fmt/format.h>

#include "common/Errors.h"
#include "labdata/LabUnits.h"
#include "layout/ParameterLoading.h"
#include "layout/SettingsLoading.h"
#include "layout/WorkbookLayout.h"
#include "workbook/Places.h"

namespace vontralek::sheet_run {

namespace main_sheet = layout::main_sheet;
namespace batch_sheet = layout::batch_sheet;

namespace {

std::string Where(const workbook::Worksheet& sheet, CellRef cell) {
  return workbook::CellPlace(sheet, cell.row, cell.column);
}

constexpr const char* kMainNdHint =
    " The Main sheet needs a number for every ion; \"nd\" (not determined) is accepted only on the Batch sheet.";
constexpr const char* kBatchNdHint = " An ion that was not determined is marked \"nd\", in lower case.";
constexpr const char* kCensoredHint =
    " A value below the detection limit (\"<x\") counts when worksheet 4, E25 \"Below detection limit\" says "
    "zero, half or limit.";

} // namespace

// Before anything is written: every molar mass and charge the units need.
void SampleReader::CheckConversions() const {
  std::vector<int> rows{3, 4, 5, 6, 7, 8, 9};
  if (state_.InputPair == CarbonatePair::BicarbonateCarbonate) rows.insert(rows.end(), {10, 11});
  for (const int n : rows) {
    if (settings_.ionUnit == labdata::IonUnit::MgPerL) CheckMolarMass(settings_, n);
    if (settings_.ionUnit == labdata::IonUnit::MeqPerL && state_.SpeciesTable[n].Charge == 0.0) {
      const CellRef cell = layout::charge_sheet::SpeciesCharges[n];
      throw WorkbookError("Worksheet 4, cell " + workbook::CellAddress(cell.row, cell.column) +
                          " gives the charge 0, but the ion unit meq/L (E27) divides by it: enter the charge.");
    }
  }
  const bool alkalinityGiven = state_.InputPair == CarbonatePair::AlkalinityPH ||
                               state_.InputPair == CarbonatePair::AlkalinityPCO2 ||
                               state_.InputPair == CarbonatePair::AlkalinityDIC;
  if (alkalinityGiven && settings_.alkalinityUnit == labdata::AlkalinityUnit::MgPerLAsCaCO3) {
    // M(CaCO3) = M(Ca) + M(CO3), F8 + L8: from the workbook's own row 8, so
    // that the workbook needs nothing beyond itself.
    CheckMolarMass(settings_, species::Calcium);
    CheckMolarMass(settings_, species::Carbonate);
  }
  if (alkalinityGiven && settings_.alkalinityUnit == labdata::AlkalinityUnit::MgPerLAsHCO3) {
    CheckMolarMass(settings_, species::Bicarbonate);
  }
}

void SampleReader::Read(SampleInputs& in, const workbook::Worksheet& sheet, CellRef first, CellRef second,
                        const std::array<CellRef, 7>& ions, bool ndAllowed, const char* ndHint) const {
  switch (state_.InputPair) {
  case CarbonatePair::AlkalinityPH:
    in.first = PH(sheet, first);
    in.second = Alkalinity(sheet, second);
    break;
  case CarbonatePair::AlkalinityPCO2:
    in.first = PCO2(sheet, first);
    in.second = Alkalinity(sheet, second);
    break;
  case CarbonatePair::BicarbonateCarbonate:
    in.first =
        ToMolPerL(species::Carbonate, Concentration(sheet, first, Required(sheet, first, "carbonate concentration")));
    in.second = ToMolPerL(species::Bicarbonate,
                          Concentration(sheet, second, Required(sheet, second, "bicarbonate concentration")));
    break;
  case CarbonatePair::DICPH:
    in.first = PH(sheet, first);
    in.second = DIC(sheet, second);
    break;
  case CarbonatePair::AlkalinityDIC:
    in.first = DIC(sheet, first);
    in.second = Alkalinity(sheet, second);
    break;
  case CarbonatePair::None:
    break;
  }
  for (int n = 3; n <= 9; ++n) in.ions[n] = Ion(sheet, ions[static_cast<std::size_t>(n - 3)], n, ndAllowed, ndHint);
}

// The ion of species row n: "nd" (where allowed) is 0, "<x" counts as the
// detection-limit rule says, any other text is a type mismatch.
double SampleReader::Ion(const workbook::Worksheet& sheet, CellRef cell, int n, bool ndAllowed,
                         const char* ndHint) const {
  const workbook::CellValue v = sheet.Value(cell.row, cell.column);
  if (ndAllowed && v.EqualsText("nd")) return 0.0;
  const bool censored = v.kind == workbook::CellValue::Kind::Text && labdata::IsCensored(v.text);
  double value = 0.0;
  if (censored && settings_.belowLimit != labdata::BelowLimitPolicy::Stop) {
    try {
      value = labdata::CensoredValue(v.text, settings_.belowLimit);
    } catch (const labdata::LabDataError& error) {
      throw WorkbookError(Where(sheet, cell) + ": " + error.what() +
                          ". Write \"<\" and the detection limit, e.g. \"<0.1\".");
    }
  } else {
    try {
      value = sheet.NumberOf(v, cell.row, cell.column);
    } catch (const TypeMismatchError& error) {
      throw TypeMismatchError(std::string(error.what()) + (censored ? kCensoredHint : ndHint));
    }
  }
  return ToMolPerL(n, Concentration(sheet, cell, value));
}

// A carbonate input of the pair: an empty cell is an error naming it (it
// would otherwise stand for a pH of 0 or no alkalinity at all).
double SampleReader::Required(const workbook::Worksheet& sheet, CellRef cell, const char* what) {
  const workbook::CellValue v = sheet.Value(cell.row, cell.column);
  if (v.IsEmpty()) {
    throw WorkbookError(Where(sheet, cell) + " is empty: it must hold the " + what +
                        " of the sample. Enter it, or choose the pair of carbonate variables the analysis gives.");
  }
  return sheet.NumberOf(v, cell.row, cell.column);
}

double SampleReader::PH(const workbook::Worksheet& sheet, CellRef cell) {
  const double pH = Required(sheet, cell, "pH");
  if (pH < -1.0 || pH > 15.0) {
    throw WorkbookError(fmt::format("{} holds the pH {}, outside -1 to 15: no water has it. Correct the value.",
                                    Where(sheet, cell), pH));
  }
  return pH;
}

double SampleReader::PCO2(const workbook::Worksheet& sheet, CellRef cell) {
  const double pCO2 = Required(sheet, cell, "pCO2 (atm)");
  if (!(pCO2 > 0.0)) {
    throw WorkbookError(fmt::format("{} holds the pCO2 {}: a partial pressure must be positive. Correct the value.",
                                    Where(sheet, cell), pCO2));
  }
  return pCO2;
}

double SampleReader::Alkalinity(const workbook::Worksheet& sheet, CellRef cell) const {
  const double value = Required(sheet, cell, "alkalinity");
  try {
    return labdata::AlkalinityToEqPerL(value, settings_.alkalinityUnit,
                                       settings_.molarMass[species::Calcium] + settings_.molarMass[species::Carbonate],
                                       settings_.molarMass[species::Bicarbonate]);
  } catch (const labdata::LabDataError& error) {
    throw WorkbookError(Where(sheet, cell) + ": " + error.what());
  }
}

// DIC in mmol/L (whatever the ion unit) -> mol/L.
double SampleReader::DIC(const workbook::Worksheet& sheet, CellRef cell) {
  return Concentration(sheet, cell, Required(sheet, cell, "DIC (mmol/L)")) / 1000.0;
}

double SampleReader::Concentration(const workbook::Worksheet& sheet, CellRef cell, double value) {
  if (value < 0.0) {
    throw WorkbookError(
        fmt::format("{} holds {}: a concentration cannot be negative. Correct the value.", Where(sheet, cell), value));
  }
  return value;
}

// mmol/L: value / 1000 exactly as before; mg/L through the molar mass of
// row 8; meq/L through the charge of row 4.
double SampleReader::ToMolPerL(int n, double value) const {
  return labdata::IonToMolPerL(value, settings_.ionUnit, settings_.molarMass[static_cast<std::size_t>(n)],
                               state_.SpeciesTable[n].Charge);
}

void ReadMainSample(SampleInputs& inputs, const workbook::Worksheet& sheet, const SampleReader& reader) {
  std::array<CellRef, 7> ions{};
  for (int i = 1; i <= 7; ++i) ions[static_cast<std::size_t>(i - 1)] = main_sheet::IonInputs[i];
  reader.Read(inputs, sheet, main_sheet::FirstInput, main_sheet::SecondInput, ions, false, kMainNdHint);
}

void ReadBatchSample(SampleInputs& inputs, const workbook::Worksheet& sheet, int r, const SampleReader& reader) {
  std::array<CellRef, 7> ions{};
  for (int i = 1; i <= 7; ++i) ions[static_cast<std::size_t>(i - 1)] = {r, batch_sheet::IonColumns[i]};
  reader.Read(inputs, sheet, {r, batch_sheet::FirstInputColumn}, {r, batch_sheet::SecondInputColumn}, ions, true,
              kBatchNdHint);
}

} // namespace vontralek::sheet_run
