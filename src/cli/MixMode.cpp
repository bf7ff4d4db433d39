#include <chrono>
#include <fstream>

#include <fmt/format.h>

#include "cli/TableMode.h"
#include "run/TableMix.h"

namespace vontralek::cli {

int RunMixMode(const CliOptions& options, const TableOptions& table, std::ostream& out, std::ostream& err) {
  const std::filesystem::path& a = options.mix.first;
  const std::filesystem::path& b = options.mix.second;
  if (options.output) {
    std::error_code ignored;
    for (const std::filesystem::path& input : {a, b})
      if (std::filesystem::equivalent(*options.output, input, ignored)) {
        err << "vontralek-cli: --output names the input table " << input.string() << "; name another file.\n";
        return 2;
      }
  }
  const auto start = std::chrono::steady_clock::now();
  try {
    const TableParameters parameters = LoadTableParameters(table.constants);
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    for (const auto& [file, path] : {std::pair{&first, &a}, {&second, &b}})
      if (!*file)
        throw TableError("The table " + path->string() + " could not be opened; check its name and permissions.");
    const MixRequest request{options.mix.fraction, options.mix.with};
    const auto finish = [&](const TableRunSummary& summary, std::ostream& said) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (!options.quiet)
        said << fmt::format("{} mixtures ({} with a reason in status) of {} speciated with the {} in {:.3f} s; results "
                            "in {}.\n",
                            summary.rows, summary.failed, summary.mixture, DescribeTableRun(table, summary), seconds,
                            options.output ? options.output->string() : std::string("standard output"));
      return summary.failed > 0 ? 1 : 0;
    };
    if (!options.output)
      return finish(RunMix(first, a.string(), second, b.string(), request, out, table, parameters), err);
    const TableRunSummary summary = RunIntoFile(*options.output, [&](std::ostream& result) {
      return RunMix(first, a.string(), second, b.string(), request, result, table, parameters);
    });
    WriteProvenance(options.output->string(), table, parameters, summary);
    return finish(summary, out);
  } catch (const std::exception& error) {
    err << "vontralek-cli: " << error.what() << '\n';
    return 1;
  }
}

} // namespace vontralek::cli
