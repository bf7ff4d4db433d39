#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/Cli.h"
#include "run/Interruption.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  vontralek::cli::CliEnvironment env;
  // The default workbook lives beside the program, wherever it was started from.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  env.programFolder = error ? std::filesystem::current_path() : self.parent_path();
  env.userData = vontralek::UserDataPlacesFromEnvironment();
  env.errorIsTerminal = isatty(STDERR_FILENO) != 0;
  vontralek::InstallStopHandlers();
  env.stopSignal = &vontralek::StopSignal();
  env.standardInput = &std::cin;
  // The streams are used alone: no need to keep them in step with C stdio (much faster for tables).
  std::ios::sync_with_stdio(false);
  return vontralek::cli::RunCli(args, std::cout, std::cerr, env);
}
