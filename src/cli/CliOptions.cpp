#include "cli/CliOptions.h"

#include <initializer_list>
#include <utility>

#include <CLI/CLI.hpp>

#include "cli/HelpText.h"
#include "common/Words.h"
#include "run/TableOptions.h"

namespace vontralek::cli {

namespace {

// One of the words of an option, in any letter case, with spaces, hyphens or
// underscores between its parts.
template <typename T>
T Choose(const std::string& option, const std::string& value, std::initializer_list<std::pair<const char*, T>> words,
         const std::string& allowed) {
  for (const auto& [word, code] : words)
    if (SameWord(value, word)) return code;
  throw UsageError("unknown value \"" + value + "\" for " + option + ": use " + allowed);
}

bool EndsInCsv(const std::string& name) {
  return name.size() >= 4 && SameLetters(std::string_view(name).substr(name.size() - 4), ".csv");
}

// Every value is collected, so that an option given twice is named as such.
struct Collected {
  std::vector<std::string> sheets, pairs, outputs, inputs, models, constants, belowLimits, threads, delimiters;
  bool csv = false;
  bool noSaturationIndices = false, noWaterQuality = false;
};

// The options with their descriptions: what the parser reads and what --help shows.
void Define(CLI::App& app, CliOptions& options, Collected& c) {
  app.set_help_flag(); // --help is answered by the caller, after the parse
  app.get_formatter()->column_width(36);
  app.footer(kHelpFooter);
  const auto value = [&app](const char* name, std::vector<std::string>& into, const char* type, const char* what) {
    return app.add_option(name, into, what)->take_all()->expected(1)->allow_extra_args(false)->type_name(type);
  };
  app.add_flag("-h,--help", options.help, "show this help and exit");
  app.add_flag("--version", options.version, "show the version and exit");
  app.add_option("input", c.inputs, kInputHelp)->type_name("WORKBOOK|TABLE");
  value("--sheet", c.sheets, "main|batch",
        "workbook: the data sheet, main (the one sample of worksheet 1;\n"
        "default) or batch (every sample row of worksheet 2)");
  value("--pair", c.pairs, "ph|pco2|carbonate",
        "the carbonate-system variables the analysis gives: alkalinity\n"
        "and pH (ph; a workbook's default), alkalinity and pCO2 (pco2),\n"
        "or bicarbonate and carbonate (carbonate); a table needs it only\n"
        "when its columns give more than one pair");
  value("-o,--output", c.outputs, "FILE",
        "workbook: write the results to FILE and leave WORKBOOK untouched;\n"
        "table: the output CSV, with its provenance record FILE.json\n"
        "(default: standard output)");
  value("--model", c.models, "MODEL",
        "the speciation model: \"as specified\" (also \"specified\") or\n"
        "\"ion association\"; a workbook's default is its setting E23 (empty:\n"
        "as specified), a table's is ion association");
  app.add_flag("--extras", options.extras,
               "workbook: also write SI calcite, SI gypsum and the charge-balance\n"
               "error (as E24 \"Extra results\" = yes)");
  app.add_flag("--keep-going", options.keepGoing,
               "a sample or row that fails gets its reason (Batch column CE, the\n"
               "table's status column) and the run goes on (as E26 = continue);\n"
               "exit status 1 if any failed");
  app.add_flag("-q,--quiet", options.quiet, "no progress bar and no summary; errors only");
  app.add_flag("--csv", c.csv, "the input is a table (one ending in .csv is anyway); \"-\":\nstandard input")
      ->group("Table mode");
  value("--constants", c.constants, "WORKBOOK",
        "log K (worksheet 3), charges and weights (worksheet 4) of\nWORKBOOK instead of the shipped ones")
      ->group("Table mode");
  value("--below-limit", c.belowLimits, "stop|zero|half|limit",
        "what a value \"<x\" counts as: an error (stop; default), 0, x/2 or x")
      ->group("Table mode");
  value("--threads", c.threads, "N", "worker threads, 1 to 9999 (default: all cores)")->group("Table mode");
  app.add_flag("--raw-text", options.table.rawText,
               "write text fields as they are; by default a field that begins\n"
               "with =, +, -, @, tab or CR and is no number gets a leading\n"
               "apostrophe, so that a spreadsheet program does not run it as a\n"
               "formula")
      ->group("Table mode");
  app.add_flag("--no-saturation-indices", c.noSaturationIndices,
               "leave out the SI_<phase> columns of the shipped phase table (or\n"
               "of the --constants workbook's)")
      ->group("Table mode");
  app.add_flag("--no-water-quality", c.noWaterQuality,
               "leave out log_a_H2O, hardness, dissolved solids, Larson-Skold,\n"
               "LSI, RSI and PSI")
      ->group("Table mode");
  value("--delimiter", c.delimiters, ",|;",
        "the field separator (default: from the header line; a\n"
        "';'-separated header means decimal commas too)")
      ->group("Table mode");
  app.add_flag("--decimal-comma", options.table.decimalComma, "numbers have a decimal comma (with --delimiter ';')")
      ->group("Table mode");
  app.add_flag("--canonical-output", options.table.canonicalOutput,
               "write ',' and decimal points whatever the input uses")
      ->group("Table mode");
}

// The table mode's options; they are refused without a table.
void TableOptions(CliOptions& options, const Collected& c) {
  CliOptions::Table& table = options.table;
  table.selected = c.csv || (!c.inputs.empty() && EndsInCsv(c.inputs.front()));
  if (!c.inputs.empty() && c.inputs.front() == "-" && !c.csv)
    throw UsageError("\"-\" reads a table from standard input: add --csv");
  for (const auto* values : {&c.constants, &c.belowLimits, &c.threads})
    if (values->size() > 1) throw UsageError("an option of the table mode was given twice");
  if (!table.selected && (!c.constants.empty() || !c.belowLimits.empty() || !c.threads.empty() || table.rawText))
    throw UsageError("--constants, --below-limit, --threads and --raw-text apply to a table (an input "
                     "ending in .csv, or --csv)");
  if (!c.constants.empty()) table.constants = c.constants.front();
  if (!c.belowLimits.empty()) table.belowLimit = c.belowLimits.front();
  if (!c.threads.empty()) {
    const std::string& text = c.threads.front();
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(text) < 1 || std::stoi(text) > kMostThreads)
      throw UsageError("--threads needs a whole number from 1 to " + std::to_string(kMostThreads) + ", not \"" + text +
                       "\"");
    table.threads = std::stoi(text);
  }
}

} // namespace

CliOptions ParseCommandLine(const std::vector<std::string>& args) {
  CliOptions options;
  Collected c;
  CLI::App app(kHelpDescription, "vontralek-cli");
  Define(app, options, c);
  // CLI11 reads its arguments back to front.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ArgumentMismatch& error) {
    // "--sheet: 1 required TEXT missing": say it plainly.
    const std::string text = error.what();
    throw UsageError("option " + text.substr(0, text.find(':')) + " needs a value");
  } catch (const CLI::ParseError& error) {
    throw UsageError(error.what()); // "The following argument was not expected: --bogus"
  }
  if (c.inputs.size() > 1) throw UsageError("more than one workbook named: \"" + c.inputs[1] + "\"");
  if (!c.inputs.empty()) options.workbook = c.inputs.front();
  for (const auto& [values, name] :
       {std::pair{&c.sheets, "--sheet"}, {&c.pairs, "--pair"}, {&c.outputs, "--output"}, {&c.models, "--model"}})
    if (values->size() > 1) throw UsageError(std::string(name) + " given twice");
  if (!c.models.empty())
    options.model = Choose("--model", c.models.front(),
                           {std::pair{"as specified", SpeciationModel::AsSpecified},
                            {"specified", SpeciationModel::AsSpecified},
                            {"ion association", SpeciationModel::IonAssociation}},
                           "\"as specified\" or \"ion association\"");
  if (!c.sheets.empty())
    options.sheetMode = Choose("--sheet", c.sheets.front(),
                               {std::pair{"main", DataSheet::Main}, {"batch", DataSheet::Batch}}, "main or batch");
  if (!c.pairs.empty())
    options.inputPair = Choose("--pair", c.pairs.front(),
                               {std::pair{"ph", CarbonatePair::AlkalinityPH},
                                {"pco2", CarbonatePair::AlkalinityPCO2},
                                {"carbonate", CarbonatePair::BicarbonateCarbonate}},
                               "ph (alkalinity and pH), pco2 (alkalinity and pCO2) or carbonate (bicarbonate and "
                               "carbonate concentrations)");
  TableOptions(options, c);
  options.table.pairGiven = !c.pairs.empty();
  if ((c.noSaturationIndices || c.noWaterQuality) && !options.table.selected)
    throw UsageError("--no-saturation-indices and --no-water-quality apply to a table (the workbook's E30 and E31 "
                     "choose for a workbook)");
  options.table.saturationIndices = !c.noSaturationIndices;
  options.table.waterQuality = !c.noWaterQuality;
  if (!options.table.selected && (!c.delimiters.empty() || options.table.decimalComma || options.table.canonicalOutput))
    throw UsageError("--delimiter, --decimal-comma and --canonical-output apply to a table (an input ending in .csv, "
                     "or --csv)");
  if (c.delimiters.size() > 1) throw UsageError("--delimiter given twice");
  if (!c.delimiters.empty()) {
    if (c.delimiters.front() != "," && c.delimiters.front() != ";")
      throw UsageError("--delimiter takes ',' or ';', not \"" + c.delimiters.front() + "\"");
    options.table.delimiter = c.delimiters.front().front();
  }
  if (options.table.decimalComma && options.table.delimiter != ';')
    throw UsageError("--decimal-comma needs --delimiter ';' (a comma cannot separate both fields and decimals)");
  if (!c.outputs.empty()) {
    if (c.outputs.front().empty()) throw UsageError("--output needs a file name");
    options.output = c.outputs.front();
  }
  return options;
}

std::string UsageText() {
  CliOptions options;
  Collected c;
  CLI::App app(kHelpDescription, "vontralek-cli");
  Define(app, options, c);
  return app.help();
}

} // namespace vontralek::cli
