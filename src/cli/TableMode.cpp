#include "cli/TableMode.h"

#include <chrono>
#include <fstream>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "cli/DiagramRequest.h"
#include "cli/TableProgressBar.h"
#include "run/InputRecord.h"
#include "run/TableRun.h"
#include "table/Csv.h"

namespace vontralek::cli {

namespace {

table::PairColumns PairColumnsOf(CarbonatePair pair) {
  if (pair == CarbonatePair::AlkalinityPCO2) return table::PairColumns::AlkalinityPCO2;
  if (pair == CarbonatePair::BicarbonateCarbonate) return table::PairColumns::BicarbonateCarbonate;
  if (pair == CarbonatePair::DICPH) return table::PairColumns::DICPH;
  if (pair == CarbonatePair::AlkalinityDIC) return table::PairColumns::AlkalinityDIC;
  return table::PairColumns::AlkalinityPH;
}

} // namespace

int RunTableMode(const CliOptions& options, std::ostream& out, std::ostream& err, const CliEnvironment& env) {
  if (!options.mix.selected && !options.workbook) {
    err << "vontralek-cli: name the input table, or \"-\" with --csv for standard input.\n";
    return 2;
  }
  const std::string input = options.mix.selected ? std::string() : options.workbook->string();
  const bool fromStdin = input == "-";
  if (fromStdin && env.standardInput == nullptr) {
    err << "vontralek-cli: no standard input to read the table from.\n";
    return 2;
  }
  if (options.output && !fromStdin && !options.mix.selected) {
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
  table.rawText = options.table.rawText;
  ReactionSettings& reactions = table.settings.reactions;
  reactions.calciteSaturation = options.calciteSaturation;
  if (options.evaluationTemperatureC) {
    reactions.evaluationTemperature = TemperatureSource::Fixed;
    reactions.evaluationTemperatureC = *options.evaluationTemperatureC;
  }
  reactions.equilibriumPCO2Given = options.equilibriumPCO2.has_value();
  reactions.equilibriumPCO2 = options.equilibriumPCO2.value_or(0.0);
  if (options.mix.selected) return RunMixMode(options, table, out, err);

  DiagramRequest diagram(options);
  table.collector = diagram.Collector();
  const auto start = std::chrono::steady_clock::now();
  try {
    const TableParameters parameters = LoadTableParameters(table.constants);
    std::ifstream file;
    std::optional<std::uint64_t> size;
    if (!fromStdin) {
      file.open(*options.workbook, std::ios::binary);
      if (!file) throw TableError("The table " + input + " could not be opened; check its name and permissions.");
      std::error_code unknown;
      if (const auto bytes = std::filesystem::file_size(*options.workbook, unknown); !unknown) size = bytes;
    }
    // Every byte read is counted (the progress) and hashed (the provenance record).
    std::streambuf* bytes = fromStdin ? env.standardInput->rdbuf() : file.rdbuf();
    DigestingInput digest(*bytes, size);
    std::istream in(&digest);
    const std::string source = fromStdin ? "standard input" : input;
    std::optional<TableProgressBar> bar;
    if (env.errorIsTerminal && !options.quiet) {
      bar.emplace(
          err, [&digest] { return digest.FractionRead(); }, env.progressAfterSeconds);
      table.progress = &*bar;
    }
    const auto finish = [&](const TableRunSummary& summary, std::ostream& said) {
      bar.reset(); // the bar's last line ends before the summary
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (!options.quiet)
        said << fmt::format("{} rows ({} with a reason in status) speciated with the {} on {} thread(s) in {:.3f} s; "
                            "results in {}.\n",
                            summary.rows, summary.failed, DescribeTableRun(table, summary), summary.threads, seconds,
                            options.output ? options.output->string() : std::string("standard output"));
      std::ostream silent(nullptr); // --quiet: the diagram is drawn, not announced
      diagram.Finish(options.quiet ? silent : said);
      return summary.failed > 0 ? 1 : 0; // --keep-going: a row without results is a failure of the run
    };
    if (!options.output) {
      return finish(RunTable(in, source, out, table, parameters), err);
    }
    TableRunSummary summary = RunIntoFile(
        *options.output, [&](std::ostream& result) { return RunTable(in, source, result, table, parameters); });
    summary.input = digest.Finish(fromStdin ? "standard input" : input);
    WriteProvenance(options.output->string(), table, parameters, summary);
    return finish(summary, out);
  } catch (const std::exception& error) {
    err << "vontralek-cli: " << error.what() << '\n';
    return 1;
  }
}

} // namespace vontralek::cli
