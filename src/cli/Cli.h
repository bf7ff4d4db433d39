#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace vontralek::cli {

struct CliEnvironment {
  std::filesystem::path programFolder;   // where the default workbook is looked for
  bool errorIsTerminal = false;          // draw the batch progress bar on the error stream
  std::istream* standardInput = nullptr; // the table mode's "-" (none: no standard input)
};

// The whole program behind main(): parses args (without the program name),
// runs, prints the summary to out and messages to err. Returns the exit
// status: 0 success, 1 run error, 2 usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliEnvironment& env);

} // namespace vontralek::cli
