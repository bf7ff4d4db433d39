#pragma once

#include <vector>

#include <string>

#include <cstddef>

#include "model/ModelState.h"

namespace vontralek {

// Loads the shipped parameters into the state, exactly as a run over the
// shipped workbook loads them from worksheets 3 and 4: the 30 log K values,
// the charges and weights of the 11 species and 24 complexes, and the weighted
// sum's start value and scale. The values are the input cells of
// data/workbook/3-constants.txt and 4-charges.txt (the files the shipped
// workbook is generated from), compiled in at build time.
void LoadDefaultParameters(ModelState& state);

// Loads the shipped temperature data of the 30 constants (form, A1..A6,
// reaction enthalpy in kJ/mol) into state.TemperatureTable: the columns of
// data/logk-temperature.csv, the file the shipped workbook's block is filled
// from, compiled in at build time.
void LoadDefaultTemperatureData(ModelState& state);

// The index of the column called name in the header of a data file the build
// ships (what names it in the error); a shipped file without it is a fault of
// the build, not of the user's data.
std::size_t ShippedColumn(const std::vector<std::string>& header, const char* name, const char* what);

} // namespace vontralek
