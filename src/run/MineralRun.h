#pragma once

// The saturation indices of the phase table and the water-quality values in a
// run: read with the settings, computed from each solved sample, written by
// the reports (workbook) or into the table's columns (CSV, data frame).

#include <string>
#include <vector>

#include "model/MineralResults.h"
#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "workbook/Workbook.h"

namespace vontralek {

// With the setting "Saturation indices" the phase table of worksheet 3 into
// settings.phases; with "Water quality" the molar masses it needs (B8:L8 of
// rows 3 to 11). Throws WorkbookError naming the cell, before anything is written.
void LoadMineralSettings(workbook::Workbook& workbook, RunSettings& settings);

// The results of a solved sample the settings ask for.
MineralResults ComputeMineralResults(const ModelState& solved, const RunSettings& settings);

// The phases of data/phases.csv other than calcite and gypsum (constants 5 and
// 6), the table mode's phase table and the shipped workbook's.
const PhaseTable& DefaultPhases();

// Workbook hooks: the headings checked and written, a sample's values written
// or cleared, for the data sheet of the state.
void CheckMineralColumns(workbook::Workbook& workbook, DataSheet sheetMode, const RunSettings& settings);
void WriteMineralColumnHeadings(workbook::Workbook& workbook, DataSheet sheetMode, const RunSettings& settings);
void WriteMineralColumns(const ModelState& solved, workbook::Workbook& workbook, const RunSettings& settings);
void ClearMineralColumns(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample,
                         const RunSettings& settings);

// The table mode's columns after the existing ones: SI_<phase> for every
// phase, then log_a_H2O and the water-quality values; and one row's values
// (NaN where undefined) in that order.
std::vector<std::string> MineralColumnNames(const RunSettings& settings);
void AppendMineralValues(const ModelState& solved, const RunSettings& settings, std::vector<double>& values);
// The table mode's settings: the run's with the parameters' phases and molar
// masses (g/mol by species row).
RunSettings TableMineralSettings(const RunSettings& settings, const PhaseTable& phases,
                                 const std::array<double, 12>& molarMass);
// The output header with the mineral columns appended; throws table::CsvError
// (line 1, the input column) when an input column has one of their names.
void AppendMineralHeader(std::vector<std::string>& header, const std::vector<std::string>& inputHeader,
                         const RunSettings& settings, const std::string& source);
// The same for any result names (the reactions' columns).
void AppendResultNames(std::vector<std::string>& header, const std::vector<std::string>& inputHeader,
                       const std::vector<std::string>& names, const std::string& source);

// The n phases whose SI is closest to 0 (defined ones only), for a summary:
// "Aragonite 0.012, Dolomite -0.31, ...".
std::string PhasesClosestToSaturation(const ModelState& solved, const RunSettings& settings, std::size_t n);

} // namespace vontralek
