#pragma once

#include <atomic>
#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "run/UserWorkbook.h"

namespace vontralek::cli {

struct CliEnvironment {
  std::filesystem::path programFolder; // where the default workbook is looked for
  bool errorIsTerminal = false;        // draw the batch progress bar on the error stream
  // Set by the SIGINT/SIGTERM handler: the run stops after the current sample
  // (exit status 128 + the signal's number). Null: never stopped.
  const std::atomic<int>* stopSignal = nullptr;
  std::istream* standardInput = nullptr; // the table mode's "-" (none: no standard input)
  double progressAfterSeconds = 1.0;     // a table run shorter than this draws no progress
  UserDataPlaces userData = {}; // where an installed program keeps the user's own workbook (none: the tests' default)
};

// The whole program behind main(): parses args (without the program name),
// runs, prints the summary to out and messages to err. Returns the exit
// status: 0 success, 1 run error, 2 usage error, 130/143 stopped by SIGINT/SIGTERM.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliEnvironment& env);

} // namespace vontralek::cli
