#pragma once

#include <ostream>

#include "cli/Cli.h"
#include "cli/CliOptions.h"
#include "run/TableOptions.h"

namespace vontralek::cli {

// The table mode of the command line: the input table (a file, or standard
// input for "-") to OUTPUT.csv with its provenance record OUTPUT.csv.json, or
// to out. Messages go to err. Returns the exit status: 0 success, 1 the run
// failed (the rows before a bad row stay written), 2 a usage error.
int RunTableMode(const CliOptions& options, std::ostream& out, std::ostream& err, const CliEnvironment& env);

// "mix A.csv B.csv": the mixtures of the two tables' waters with the table
// mode's options, to OUT.csv and OUT.csv.json, or to out. Returns the exit
// status as RunTableMode does.
int RunMixMode(const CliOptions& options, const TableOptions& table, std::ostream& out, std::ostream& err);

} // namespace vontralek::cli
