#pragma once

#include <filesystem>
#include <fstream>
#include <ostream>

#include "cli/Cli.h"
#include "cli/CliOptions.h"
#include "run/TableError.h"
#include "run/TableOptions.h"
#include "run/TableRun.h"

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

// A table run whose rows go straight into the file at path (when a bad row
// stops the run, the rows before it stay there): run(stream) writes them.
// Throws TableError when the file cannot be created or written completely.
template <typename Run> TableRunSummary RunIntoFile(const std::filesystem::path& path, Run&& run) {
  std::ofstream result(path, std::ios::binary | std::ios::trunc);
  if (!result) throw TableError("The output " + path.string() + " could not be created.");
  TableRunSummary summary = run(result);
  result.close();
  if (!result) throw TableError("The output " + path.string() + " could not be written completely.");
  return summary;
}

} // namespace vontralek::cli
