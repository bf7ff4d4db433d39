#include "run/InputHeadings.h"

namespace vontralek::sheet_run {

using layout::CellRef;

namespace {

// The headings of the two carbonate input columns, with the chemical sub- and
// superscripts: CO2 has its 2 lowered, CO3 2- its 3 lowered and 2- raised,
// HCO3- its 3 lowered and - raised.
void WriteText(workbook::Worksheet& sheet, CellRef cell, const char* text) {
  sheet.SetText(cell.row, cell.column, text);
}

void WritePCO2Heading(workbook::Worksheet& sheet, CellRef cell) {
  WriteText(sheet, cell, "pCO2");
  sheet.SetSubscript(cell.row, cell.column, 4, 1);
}

void WriteCarbonateHeading(workbook::Worksheet& sheet, CellRef cell, const char* text) {
  WriteText(sheet, cell, text);
  sheet.SetSubscript(cell.row, cell.column, 4, 1);
  sheet.SetSuperscript(cell.row, cell.column, 5, 2);
}

void WriteBicarbonateHeading(workbook::Worksheet& sheet, CellRef cell, const char* text) {
  WriteText(sheet, cell, text);
  sheet.SetSubscript(cell.row, cell.column, 5, 1);
  sheet.SetSuperscript(cell.row, cell.column, 6, 1);
}

} // namespace

void WritePairHeadings(CarbonatePair pair, workbook::Worksheet& sheet, CellRef first, CellRef second, bool withUnits) {
  const char* alkalinity = withUnits ? "Alk/meq/L" : "Alk";
  switch (pair) {
  case CarbonatePair::AlkalinityPH:
    WriteText(sheet, first, "pH");
    WriteText(sheet, second, alkalinity);
    break;
  case CarbonatePair::AlkalinityPCO2:
    WritePCO2Heading(sheet, first);
    WriteText(sheet, second, alkalinity);
    break;
  case CarbonatePair::BicarbonateCarbonate:
    WriteCarbonateHeading(sheet, first, withUnits ? "[CO32-]/mmol/L" : "[CO32-]");
    WriteBicarbonateHeading(sheet, second, withUnits ? "[HCO3-]/mmol/L" : "[HCO3-]");
    break;
  case CarbonatePair::DICPH:
    WriteText(sheet, first, "pH");
    WriteText(sheet, second, withUnits ? "DIC/mmol/L" : "DIC");
    break;
  case CarbonatePair::AlkalinityDIC:
    WriteText(sheet, first, withUnits ? "DIC/mmol/L" : "DIC");
    WriteText(sheet, second, alkalinity);
    break;
  case CarbonatePair::None:
    break;
  }
}

} // namespace vontralek::sheet_run
