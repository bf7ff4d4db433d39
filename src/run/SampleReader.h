#pragma once

#include <array>

#include "layout/Layout.h"
#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "run/Pipeline.h"
#include "speciation/Speciation.h"
#include "workbook/Workbook.h"

namespace vontralek::sheet_run {

using layout::CellRef;

// Reads a sample's inputs from its cells into the model's units (mol/L for
// concentrations, eq/L for the alkalinity), in the units the run's settings
// name, through the laboratory-data conversions. Inputs that cannot stand for
// a water are refused naming their cell: a negative concentration, a pH
// outside -1 to 15, a pCO2 that is not positive (a negative alkalinity is
// valid: acid waters).
class SampleReader {
public:
  SampleReader(const RunSettings& settings, const ModelState& state) : settings_(settings), state_(state) {}

  // Before anything is written: every molar mass and charge the units need.
  void CheckConversions() const;

  // A sample: the two carbonate inputs of the pair, first then second (pH
  // and pCO2 as entered, alkalinity -> eq/L, CO3 2- and HCO3- -> mol/L; no
  // pair: none), then the ions of species rows 3 to 9 in the cells given.
  // ndAllowed: exactly "nd" (not determined) counts as 0.
  void Read(SampleInputs& in, const workbook::Worksheet& sheet, CellRef first, CellRef second,
            const std::array<CellRef, 7>& ions, bool ndAllowed, const char* ndHint) const;

private:
  // The ion of species row n: "nd" (where allowed) is 0, "<x" counts as the
  // detection-limit rule says, any other text is a type mismatch.
  double Ion(const workbook::Worksheet& sheet, CellRef cell, int n, bool ndAllowed, const char* ndHint) const;

  // A carbonate input of the pair: an empty cell is an error naming it (it
  // would otherwise stand for a pH of 0 or no alkalinity at all).
  static double Required(const workbook::Worksheet& sheet, CellRef cell, const char* what);

  static double PH(const workbook::Worksheet& sheet, CellRef cell);

  static double PCO2(const workbook::Worksheet& sheet, CellRef cell);

  double Alkalinity(const workbook::Worksheet& sheet, CellRef cell) const;

  static double DIC(const workbook::Worksheet& sheet, CellRef cell);

  static double Concentration(const workbook::Worksheet& sheet, CellRef cell, double value);

  // mmol/L: value / 1000 exactly as before; mg/L through the molar mass of
  // row 8; meq/L through the charge of row 4.
  double ToMolPerL(int n, double value) const;

  const RunSettings& settings_;
  const ModelState& state_;
};

// The sample of the Main sheet, row 5, into model units. The Main sheet has
// no marker for an ion that was not determined: "nd" here is a type mismatch.
void ReadMainSample(SampleInputs& inputs, const workbook::Worksheet& sheet, const SampleReader& reader);

// Batch sample k, row r = k + 1, into model units; exactly "nd" (not
// determined) counts as 0.
void ReadBatchSample(SampleInputs& inputs, const workbook::Worksheet& sheet, int r, const SampleReader& reader);

} // namespace vontralek::sheet_run
