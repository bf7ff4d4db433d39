#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vontralek::cli {

// A command line that cannot be understood (exit status 2).
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct CliOptions {
  std::string sheetMode = "A";                   // --sheet main (A) | batch (B)
  std::string inputPair = "A";                   // --pair ph (A) | pco2 (B) | carbonate (C)
  std::optional<std::filesystem::path> workbook; // default: the program's folder
  std::optional<std::filesystem::path> output;   // --output FILE
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name. Throws UsageError.
CliOptions ParseCommandLine(const std::vector<std::string>& args);

// The text of --help.
std::string UsageText();

} // namespace vontralek::cli
