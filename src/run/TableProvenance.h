#pragma once

#include <string>

#include "run/TableOptions.h"
#include "run/TableParameters.h"

namespace vontralek {

struct TableRunSummary;

// The provenance record of a run, as JSON text: program version, model, pair
// rule, units of the input columns, detection-limit policy, failure policy,
// thread count, where the constants came from and their SHA-256.
std::string ProvenanceJson(const TableOptions& options, const TableParameters& parameters,
                           const TableRunSummary& summary);

// The record written beside the output: OUTPUT.json. Throws TableError when it
// cannot be written.
void WriteProvenance(const std::string& output, const TableOptions& options, const TableParameters& parameters,
                     const TableRunSummary& summary);

} // namespace vontralek
