#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/ModelState.h"
#include "report/HeadingCell.h"
#include "report/ReactionReport.h"
#include "workbook/Workbook.h"

namespace vontralek {

// The columns the program adds on request: the extra results (saturation
// indices of calcite and gypsum, charge-balance error in %: Main S5:U5 under
// S4:U4, Batch CB:CD under CB1:CD1) and, when failed samples do not stop the
// run, the status column CE of the Batch sheet ("ok" or the reason); with
// the temperature "per sample", the heading of the input column of each
// sample's temperature (Main V4, Batch CF1).
struct AddedColumns {
  bool extraResults = false;
  bool status = false; // Batch sheet only
  bool temperature = false;
  ReactionColumns reactions; // DIC, the reactions and their evaluation temperature
};

// The headings of the added columns, where they stand: checked before
// anything is written and written with the pair's (report/RunHeadings.h).
std::vector<HeadingCell> AddedHeadings(DataSheet sheetMode, AddedColumns columns);

// The extra results of the single sample (S5:U5) or of batch sample
// state.CurrentSample (CB:CD of its row); an undefined saturation index reads "nd".
void WriteExtraResults(const ModelState& state, workbook::Workbook& workbook);

// Empties the extra results of the Main sheet or of batch sample k's row.
void ClearExtraResults(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample);

// Writes "ok" or the reason (one line) into batch sample k's status cell.
void WriteSampleStatus(workbook::Workbook& workbook, std::int64_t sample, const std::string& status);

// Empties batch sample k's status cell.
void ClearSampleStatus(workbook::Workbook& workbook, std::int64_t sample);

} // namespace vontralek
