#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string_view>

// Where everything stands in a VONTRALEK workbook: every cell the program reads
// or writes, in A1 form, so that each table can be held against the workbook's
// documentation. Nothing else in the program names a cell of our worksheets.
namespace vontralek::layout {

// A cell by 1-based row and column (column 1 = A).
struct CellRef {
  int row = 0;
  int column = 0;
  constexpr bool operator==(const CellRef&) const = default;
};

// "K" -> 11, "CA" -> 79. Evaluated at compile time for the tables below; a
// malformed literal stops the build.
constexpr int Column(std::string_view letters) {
  if (letters.empty()) throw std::invalid_argument("empty column");
  int column = 0;
  for (const char c : letters) {
    if (c < 'A' || c > 'Z') throw std::invalid_argument("column letters are A to Z");
    column = column * 26 + (c - 'A' + 1);
  }
  return column;
}

// "P5" -> row 5, column 16.
constexpr CellRef A1(std::string_view address) {
  std::size_t split = 0;
  while (split < address.size() && address[split] >= 'A' && address[split] <= 'Z') ++split;
  if (split == address.size()) throw std::invalid_argument("no row number");
  int row = 0;
  for (std::size_t i = split; i < address.size(); ++i) {
    if (address[i] < '0' || address[i] > '9') throw std::invalid_argument("row digits are 0 to 9");
    row = row * 10 + (address[i] - '0');
  }
  return {row, Column(address.substr(0, split))};
}

// A table indexed from 1, as the model's tables are.
template <typename T, std::size_t N> struct OneBased {
  std::array<T, N> items;
  constexpr const T& operator[](int i) const { return items[static_cast<std::size_t>(i - 1)]; }
  static constexpr int size() { return static_cast<int>(N); }
};

template <std::size_t N> constexpr OneBased<CellRef, N> Cells(const std::string_view (&addresses)[N]) {
  OneBased<CellRef, N> table{};
  for (std::size_t i = 0; i < N; ++i) table.items[i] = A1(addresses[i]);
  return table;
}

template <std::size_t N> constexpr OneBased<int, N> Columns(const std::string_view (&letters)[N]) {
  OneBased<int, N> table{};
  for (std::size_t i = 0; i < N; ++i) table.items[i] = Column(letters[i]);
  return table;
}

// The four worksheets, by their number (position among the worksheets).
inline constexpr int MainSheet = 1;  // one sample in row 5
inline constexpr int BatchSheet = 2; // one sample per row from row 2
// The worksheet after the four that a batch's diagrams go on (worksheet 4,
// E35), and the mark of this program's pictures: a sheet of that name whose
// pictures lack it is the user's and is never replaced.
inline constexpr const char* kDiagramSheet = "Diagrams";
inline constexpr const char* kPictureMarker = "VONTRALEK diagram";
inline constexpr int ConstantSheet = 3; // log10 of the equilibrium constants
inline constexpr int ChargeSheet = 4;   // charges, weights and settings
inline constexpr int WorksheetsNeeded = 4;
// The names the shipped workbook gives them, worksheet 1 first. A workbook
// may rename them; one that carries these names in another order is refused.
inline constexpr std::array<std::string_view, 4> ShippedSheetNames{"Main", "Batch", "Constants", "Charges"};

// The last row a worksheet can have.
inline constexpr int LastSheetRow = 1048576;

namespace main_sheet {
// Headings of the two carbonate inputs and the inputs themselves.
inline constexpr CellRef FirstInputHeading = A1("A4");
inline constexpr CellRef SecondInputHeading = A1("B4");
inline constexpr CellRef FirstInput = A1("A5");  // pH, pCO2 or carbonate mmol/L
inline constexpr CellRef SecondInput = A1("B5"); // alkalinity meq/L or bicarbonate mmol/L
// Ion totals in mmol/L, SpeciesTable rows 3 to 9 (entry 1 = row 3).
inline constexpr auto IonInputs = Cells({"C5", "D5", "E5", "F5", "G5", "H5", "I5"});

// Results. Totals (mmol/L) of SpeciesTable rows 1, 2, 10, 11, 12.
struct SpeciesCell {
  int speciesRow;
  CellRef cell;
};
inline constexpr std::array<SpeciesCell, 5> Totals{
    {{1, A1("J5")}, {2, A1("K5")}, {10, A1("L5")}, {11, A1("M5")}, {12, A1("N5")}}};
// Activity coefficients of SpeciesTable rows 1 to 12.
inline constexpr auto Gammas = Cells({"J9", "K9", "C9", "D9", "E9", "F9", "G9", "H9", "I9", "L9", "M9", "N9"});
// The complex matrix: free cations 1 to 4 (SpeciesTable rows 3 to 6) across
// row 15, free OH- and ligands 1 to 5 (SpeciesTable rows 2, 7 to 11) down
// column D, and ComplexTable rows 1 to 24 in the body.
inline constexpr auto FreeCations = Cells({"E15", "F15", "G15", "H15"});
inline constexpr auto FreeLigands = Cells({"D16", "D17", "D18", "D19", "D20", "D21"});
inline constexpr auto Complexes =
    Cells({"E16", "F16", "G16", "H16", "E17", "F17", "G17", "H17", "E18", "F18", "G18", "H18",
           "E19", "F19", "G19", "H19", "E20", "F20", "G20", "H20", "E21", "F21", "G21", "H21"});
// The carbonate variable the pair did not give: its label and value.
inline constexpr CellRef OtherVariableLabel = A1("P4");
inline constexpr CellRef OtherVariable = A1("P5");
inline constexpr CellRef WeightedSum = A1("Q5");
inline constexpr CellRef IonicStrength = A1("R5"); // mmol/L
// Extra results (setting "Extra results" = "yes"): saturation indices of
// calcite and gypsum, charge-balance error in %; headings on row 4.
inline constexpr auto ExtraHeadings = Cells({"S4", "T4", "U4"});
inline constexpr auto ExtraResults = Cells({"S5", "T5", "U5"});
// The sample's temperature in °C (setting "Temperature" = "per sample"),
// under its heading.
inline constexpr CellRef TemperatureHeading = A1("V4");
inline constexpr CellRef Temperature = A1("V5");
// The temperature in °C at which calcite saturation is evaluated (setting
// "Evaluation temperature" = "per sample"), under its heading; the dissolved
// inorganic carbon in mmol/L, a result of every pair, under its heading.
inline constexpr CellRef EvaluationTemperatureHeading = A1("W4");
inline constexpr CellRef EvaluationTemperature = A1("W5");
inline constexpr CellRef DissolvedCarbonHeading = A1("X4");
inline constexpr CellRef DissolvedCarbon = A1("X5");
// The reactions: calcite saturation (pH and SI calcite at the evaluation
// temperature, pHC, dissolution capacity mmol/L and mg/L CaCO3, CCPP) and
// equilibrium with CO2 gas (pH, DIC, SI calcite, CO2 degassed), headings on
// row 28, values on row 29, in the order of the Batch sheet's CS:DB.
inline constexpr auto ReactionHeadings = Cells({"D28", "E28", "F28", "G28", "H28", "I28", "J28", "K28", "L28", "M28"});
inline constexpr auto Reactions = Cells({"D29", "E29", "F29", "G29", "H29", "I29", "J29", "K29", "L29", "M29"});
// Water quality (setting "Water quality" = "yes"): headings A24:J24, values
// A25:J25, in the order of the Batch sheet's CI:CR.
inline constexpr auto WaterQualityHeadings =
    Cells({"A24", "B24", "C24", "D24", "E24", "F24", "G24", "H24", "I24", "J24"});
inline constexpr auto WaterQuality = Cells({"A25", "B25", "C25", "D25", "E25", "F25", "G25", "H25", "I25", "J25"});
// Saturation indices (setting "Saturation indices" = "yes"): headings A28
// "Phase" and B28 "SI", then phase k of the table on row 28 + k, its name in
// A and its SI in B.
inline constexpr CellRef PhaseHeading = A1("A28");
inline constexpr CellRef SaturationIndexHeading = A1("B28");
inline constexpr int FirstPhaseRow = 29;
inline constexpr int PhaseNameColumn = Column("A");
inline constexpr int SaturationIndexColumn = Column("B");
} // namespace main_sheet

namespace batch_sheet {
inline constexpr CellRef FirstInputHeading = A1("B1");
inline constexpr CellRef SecondInputHeading = A1("C1");
inline constexpr int FirstSampleRow = 2; // sample k on row k + 1
inline constexpr int MarkerColumn = Column("A");
inline constexpr int FirstInputColumn = Column("B");
inline constexpr int SecondInputColumn = Column("C");
// Ion totals in mmol/L or "nd", SpeciesTable rows 3 to 9 (entry 1 = row 3).
inline constexpr auto IonColumns = Columns({"D", "E", "F", "G", "H", "I", "J"});

// Results, columns K to CA of the sample's row.
inline constexpr int WeightedSum = Column("K");
inline constexpr int PCO2 = Column("L");
inline constexpr int IonicStrength = Column("M");        // mmol/L
inline constexpr int InitialIonicStrength = Column("N"); // mmol/L
inline constexpr int LogIapCaSO4 = Column("O");
inline constexpr int LogIapCaCO3 = Column("P");
inline constexpr int Sar = Column("Q");
inline constexpr int SarActivity = Column("R");
inline constexpr int PH = Column("S");
// SpeciesTable rows 1 to 12.
inline constexpr auto Gammas = Columns({"T", "U", "V", "W", "X", "Y", "Z", "AA", "AB", "AC", "AD", "AE"});
inline constexpr auto LogActivities = Columns({"AF", "AG", "AH", "AI", "AJ", "AK", "AL", "AM", "AN", "AO", "AP", "AQ"});
inline constexpr auto FreeConcs = Columns({"AR", "AS", "AT", "AU", "AV", "AW", "AX", "AY", "AZ", "BA", "BB", "BC"});
// ComplexTable rows 1 to 24, mmol/L.
inline constexpr auto Complexes = Columns({"BD", "BE", "BF", "BG", "BH", "BI", "BJ", "BK", "BL", "BM", "BN", "BO",
                                           "BP", "BQ", "BR", "BS", "BT", "BU", "BV", "BW", "BX", "BY", "BZ", "CA"});
// Extra results, headings on row 1: SI calcite, SI gypsum, charge-balance error %.
inline constexpr auto ExtraResults = Columns({"CB", "CC", "CD"});
// "ok" or the reason a sample failed, when a failed sample does not stop the run.
inline constexpr int Status = Column("CE");
// Each sample's temperature in °C (setting "Temperature" = "per sample"),
// heading on row 1.
inline constexpr int Temperature = Column("CF");
// Each sample's evaluation temperature in °C (setting "Evaluation
// temperature" = "per sample") and its dissolved inorganic carbon in mmol/L,
// headings on row 1.
inline constexpr int EvaluationTemperature = Column("CG");
inline constexpr int DissolvedCarbon = Column("CH");
// Water quality, headings on row 1: hardness mmol/L, mg/L as CaCO3 and °dH,
// carbonate hardness, dissolved solids, Larson-Skold, LSI, RSI, PSI, log a(H2O).
inline constexpr auto WaterQuality = Columns({"CI", "CJ", "CK", "CL", "CM", "CN", "CO", "CP", "CQ", "CR"});
// The reactions, headings on row 1, in the order of the Main sheet's D29:M29.
inline constexpr auto Reactions = Columns({"CS", "CT", "CU", "CV", "CW", "CX", "CY", "CZ", "DA", "DB"});
// Saturation indices, phase k of the table in column DC + k - 1 (DC:FJ for
// the 60 phases a table may hold), heading "SI <name>" on row 1.
inline constexpr int FirstSaturationIndex = Column("DC");
inline constexpr int HeadingRow = 1;
} // namespace batch_sheet

namespace constant_sheet {
// log10 K of ConstantTable rows 1 to 6: CO2 solubility, water, carbonic acid
// 1 and 2, calcium carbonate and calcium sulfate solubility.
inline constexpr auto LogK = Cells({"B5", "C5", "D5", "E5", "F5", "G5"});
// log10 K of the complexes: rows 13 to 18 (OH-, ligands 1 to 5) against
// columns C to F (cations 1 to 4); entry [h][c] is ConstantTable row
// ConstantRowOfComplex(ComplexRow(h, c)).
inline constexpr std::array<OneBased<CellRef, 4>, 6> ComplexLogK{
    Cells({"C13", "D13", "E13", "F13"}), Cells({"C14", "D14", "E14", "F14"}), Cells({"C15", "D15", "E15", "F15"}),
    Cells({"C16", "D16", "E16", "F16"}), Cells({"C17", "D17", "E17", "F17"}), Cells({"C18", "D18", "E18", "F18"})};
// Results: log10 of the conditional constants, beside the log K they came from.
inline constexpr auto ConditionalLogK = Cells({"B6", "C6", "D6", "E6", "F6", "G6"});
inline constexpr std::array<OneBased<CellRef, 4>, 6> ComplexConditionalLogK{
    Cells({"J13", "K13", "L13", "M13"}), Cells({"J14", "K14", "L14", "M14"}), Cells({"J15", "K15", "L15", "M15"}),
    Cells({"J16", "K16", "L16", "M16"}), Cells({"J17", "K17", "L17", "M17"}), Cells({"J18", "K18", "L18", "M18"})};
// The temperature data of the 30 constants, below the table of sources
// (A21:I52): the block's title in A55 (a workbook without this title has no
// temperature data), headings on row 56, ConstantTable row n on row 56 + n
// (rows 57 to 86) with its reaction in A (not read), then form, A1..A6 and
// the reaction enthalpy in kJ/mol.
inline constexpr CellRef TemperatureTitle = A1("A55");
inline constexpr int TemperatureFirstRow = 57;
inline constexpr auto TemperatureColumns = Columns({"B", "C", "D", "E", "F", "G", "H", "I"});
// The phase table, below the temperature data: the title "Phases" in A89
// (a workbook without it has no phases), headings on row 90, one phase per
// row from row 91 down to the first row whose name (A) is empty, at most 60
// (rows 91 to 150). A name, B formula (display only), C:M the dissolution
// reaction's coefficients of Ca2+, Mg2+, Na+, K+, Cl-, NO3-, SO4 2-, CO3 2-,
// HCO3-, H+, H2O, N log K at 25 °C, O form, P:U A1..A6, V ΔH in kJ/mol.
// Cells to the right of V on a phase row must be empty (no such species).
inline constexpr CellRef PhaseTitle = A1("A89");
inline constexpr int PhaseFirstRow = 91;
inline constexpr int PhaseLastRow = 150;
inline constexpr int PhaseFirstColumn = Column("A");
inline constexpr int PhaseLastColumn = Column("V");
} // namespace constant_sheet

namespace charge_sheet {
// SpeciesTable rows 1 to 11 (dissolved CO2 has no cells).
inline constexpr auto SpeciesCharges = Cells({"B4", "C4", "D4", "E4", "F4", "G4", "H4", "I4", "J4", "K4", "L4"});
inline constexpr auto SpeciesWeights = Cells({"B6", "C6", "D6", "E6", "F6", "G6", "H6", "I6", "J6", "K6", "L6"});
// ComplexTable rows 1 to 24: rows 1 to 12 in B:M of rows 10 and 11, rows 13
// to 24 in B:M of rows 14 and 15.
inline constexpr auto ComplexCharges =
    Cells({"B10", "C10", "D10", "E10", "F10", "G10", "H10", "I10", "J10", "K10", "L10", "M10",
           "B14", "C14", "D14", "E14", "F14", "G14", "H14", "I14", "J14", "K14", "L14", "M14"});
inline constexpr auto ComplexWeights =
    Cells({"B11", "C11", "D11", "E11", "F11", "G11", "H11", "I11", "J11", "K11", "L11", "M11",
           "B15", "C15", "D15", "E15", "F15", "G15", "H15", "I15", "J15", "K15", "L15", "M15"});
// The weighted charge sum's start value and scale.
inline constexpr CellRef WeightedSumStart = A1("E19");
inline constexpr CellRef SumScale = A1("E20");

// The settings block: labels in column A, values in column E.
inline constexpr CellRef Model = A1("E23"); // "as specified" | "ion association"
inline constexpr CellRef ExtraResults = A1("E24");
inline constexpr CellRef BelowDetectionLimit = A1("E25");
inline constexpr CellRef WhenSampleFails = A1("E26");
inline constexpr CellRef IonUnit = A1("E27");
inline constexpr CellRef AlkalinityUnit = A1("E28");
inline constexpr CellRef Temperature = A1("E29"); // empty | °C | "per sample"
// Saturation indices of the phase table and the water-quality values.
inline constexpr CellRef SaturationIndices = A1("E30"); // "no" | "yes"
inline constexpr CellRef WaterQuality = A1("E31");      // "no" | "yes"
// The reactions: calcite saturation, at the evaluation temperature (empty:
// the sample's own; °C; "per sample"), and equilibrium with CO2 gas at a
// partial pressure in atm (empty: none).
inline constexpr CellRef CalciteSaturation = A1("E32");     // "no" | "yes"
inline constexpr CellRef EvaluationTemperature = A1("E33"); // empty | °C | "per sample"
inline constexpr CellRef EquilibriumPCO2 = A1("E34");       // empty | atm
// The Piper and Schoeller diagrams of a batch on the worksheet kDiagramSheet.
inline constexpr CellRef Diagrams = A1("E35"); // "no" | "yes"
// Molar masses, g/mol, of SpeciesTable rows 1 to 11.
inline constexpr auto MolarMasses = Cells({"B8", "C8", "D8", "E8", "F8", "G8", "H8", "I8", "J8", "K8", "L8"});
} // namespace charge_sheet

} // namespace vontralek::layout
