#include "cli/TableMode.h"

#include <chrono>
#include <fstream>
#include <string>

#include <fmt/format.h>

#include "cli/DiagramRequest.h"
#include "run/TableRun.h"
#include "table/Csv.h"

namespace vontralek::cli {

namespace {

table::PairColumns PairColumnsOf(CarbonatePair pair) {
  if (pair == CarbonatePair::AlkalinityPCO2) return table::PairColumns::AlkalinityPCO2;
  if (pair == CarbonatePair::BicarbonateCarbonate) return table::PairColumns::BicarbonateCarbonate;
  return table::PairColumns::AlkalinityPH;
}

} // namespace

int RunTableMode(const CliOptions& options, std::ostream& out, std::ostream& err, const CliEnvironment& env) {
  if (!options.workbook) {
    err << "vontralek-cli: name the input table, or \"-\" with --csv for standard input.\n";
    return 2;
  }
  const std::string input = options.workbook->string();
  const bool fromStdin = input == "-";
  if (fromStdin && env.standardInput == nullptr) {
    err << "vontralek-cli: no standard input to read the table from.\n";
    return 2;
  }
  if (options.output && !fromStdin) {
    std::error_code ignored;
    if (std::filesystem::equivalent(*options.output, *options.workbook, ignored)) {
      err << "vontralek-cli: --output names the input table itself; name another file.\n";
      return 2;
    }
  }
  TableOptions table;
  try {
    if (options.model) table.settings.model = *options.model;
    if (!options.table.belowLimit.empty())
      table.settings.belowLimit = labdata::ParseBelowLimitPolicy(options.table.belowLimit);
  } catch (const std::exception& error) {
    err << "vontralek-cli: " << error.what() << '\n';
    return 2;
  }
  table.settings.onFailure = options.keepGoing ? FailurePolicy::Continue : FailurePolicy::Stop;
  if (options.table.pairGiven) table.pair = PairColumnsOf(options.inputPair);
  table.threads = options.table.threads;
  table.constants = options.table.constants;
  table.settings.saturationIndices = options.table.saturationIndices;
  table.settings.waterQuality = options.table.waterQuality;
  if (options.table.delimiter != '\0')
    table.inputFormat = table::CsvFormat{options.table.delimiter, options.table.decimalComma};
  if (options.table.canonicalOutput) table.outputFormat = table::CsvFormat{};

  DiagramRequest diagram(options);
  table.collector = diagram.Collector();
  const auto start = std::chrono::steady_clock::now();
  try {
    const TableParameters parameters = LoadTableParameters(table.constants);
    std::ifstream file;
    if (!fromStdin) {
      file.open(*options.workbook, std::ios::binary);
      if (!file) throw TableError("The table " + input + " could not be opened; check its name and permissions.");
    }
    std::istream& in = fromStdin ? *env.standardInput : file;
    const std::string source = fromStdin ? "standard input" : input;
    if (!options.output) {
      RunTable(in, source, out, table, parameters);
      diagram.Finish(err); // the table itself goes to standard output
      return 0;
    }
    std::ofstream result(*options.output, std::ios::binary | std::ios::trunc);
    if (!result) throw TableError("The output " + options.output->string() + " could not be created.");
    // The rows go straight into the file: when a bad row stops the run, the
    // rows before it stay there.
    const TableRunSummary summary = RunTable(in, source, result, table, parameters);
    result.close();
    if (!result) throw TableError("The output " + options.output->string() + " could not be written completely.");
    const std::string provenancePath = options.output->string() + ".json";
    std::ofstream provenance(provenancePath, std::ios::binary | std::ios::trunc);
    provenance << ProvenanceJson(table, parameters, summary);
    provenance.close();
    if (!provenance) throw TableError("The provenance record " + provenancePath + " could not be written.");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out << fmt::format("{} rows ({} with a reason in status) speciated on {} thread(s) in {:.3f} s; results in {}.\n",
                       summary.rows, summary.failed, summary.threads, seconds, options.output->string());
    diagram.Finish(out);
    return 0;
  } catch (const std::exception& error) {
    err << "vontralek-cli: " << error.what() << '\n';
    return 1;
  }
}

} // namespace vontralek::cli
