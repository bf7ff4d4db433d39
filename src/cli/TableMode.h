#pragma once

#include <ostream>

#include "cli/Cli.h"
#include "cli/CliOptions.h"

namespace vontralek::cli {

// The table mode of the command line: the input table (a file, or standard
// input for "-") to OUTPUT.csv with its provenance record OUTPUT.csv.json, or
// to out. Messages go to err. Returns the exit status: 0 success, 1 the run
// failed (the rows before a bad row stay written), 2 a usage error.
int RunTableMode(const CliOptions& options, std::ostream& out, std::ostream& err, const CliEnvironment& env);

} // namespace vontralek::cli
