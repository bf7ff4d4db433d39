#include "cli/CliOptions.h"

#include <charconv>
#include <initializer_list>
#include <utility>

#include <CLI/CLI.hpp>

#include "cli/DiagramRequest.h"
#include "cli/HelpText.h"
#include "common/GasPressure.h"
#include "common/TemperatureRange.h"
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
  std::vector<std::string> diagrams, diagramOuts;
  std::vector<std::string> evaluationTemperatures, pco2s, fractions, withs;
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
  value("--pair", c.pairs, "ph|pco2|carbonate|dic-ph|alkalinity-dic",
        "the carbonate-system variables the analysis gives: alkalinity\n"
        "and pH (ph; a workbook's default), alkalinity and pCO2 (pco2),\n"
        "bicarbonate and carbonate (carbonate), DIC and pH (dic-ph) or\n"
        "alkalinity and DIC (alkalinity-dic); a table needs it only when\n"
        "its columns give more than one pair");
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
  value("--diagram", c.diagrams, "piper|stiff|schoeller",
        "after the run, draw its samples (the Batch sheet, the Main\n"
        "sample or a table's rows) into the file of --diagram-out");
  value("--diagram-out", c.diagramOuts, "FILE.svg|FILE.png", "the diagram's file: SVG (vector) or PNG");
  app.add_flag("--calcite-saturation", options.calciteSaturation,
               "also bring each water to its evaluation temperature and to\n"
               "equilibrium with calcite (closed system): pH and SI calcite\n"
               "there, pHC, the calcite dissolution capacity and the CCPP (as\n"
               "E32 = yes)")
      ->group("Reactions");
  value("--evaluation-temperature", c.evaluationTemperatures, "C",
        "the temperature of the calcite saturation, 0 to 100 °C (as E33;\n"
        "default: the water's own; a table's evaluation_temperature_C\n"
        "column overrides it row by row)")
      ->group("Reactions");
  value("--equilibrium-pco2", c.pco2s, "ATM",
        "also bring each water to equilibrium with CO2 gas at this\n"
        "partial pressure in atm (open system; air: 0.000398): pH, DIC, SI\n"
        "calcite after and the CO2 given off (as E34)")
      ->group("Reactions");
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
  value("--fraction", c.fractions, "F", "mix: the first table's share of each mixture, 0 to 1 (the\nsecond's: 1 - F)")
      ->group("Mixing (vontralek-cli mix A.csv B.csv)");
  value("--with", c.withs, "NAME",
        "mix: every row of A with the row of B whose sample column holds\n"
        "NAME (default: row i of A with row i of B)")
      ->group("Mixing (vontralek-cli mix A.csv B.csv)");
}

// A number the whole text spells (a decimal point, an exponent allowed).
double NumberOf(const std::string& option, const std::string& text, const std::string& what) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end)
    throw UsageError(option + " needs " + what + ", not \"" + text + "\"");
  return value;
}

// The reactions' options; a table needs --calcite-saturation for an evaluation temperature.
void ReactionOptions(CliOptions& options, const Collected& c) {
  for (const auto& [values, name] :
       {std::pair{&c.evaluationTemperatures, "--evaluation-temperature"}, {&c.pco2s, "--equilibrium-pco2"}})
    if (values->size() > 1) throw UsageError(std::string(name) + " given twice");
  if (!c.evaluationTemperatures.empty()) {
    const double t = NumberOf("--evaluation-temperature", c.evaluationTemperatures.front(), "a temperature in °C");
    if (!InWaterRange(t))
      throw UsageError("--evaluation-temperature " + c.evaluationTemperatures.front() + " °C is " +
                       OutsideWaterRange());
    options.evaluationTemperatureC = t;
  }
  if (!c.pco2s.empty()) {
    const double atm = NumberOf("--equilibrium-pco2", c.pco2s.front(), "a partial pressure in atm");
    if (!ValidPartialPressure(atm))
      throw UsageError("--equilibrium-pco2 " + c.pco2s.front() + " atm is " + InvalidPartialPressure());
    options.equilibriumPCO2 = atm;
  }
  if (options.table.selected && options.evaluationTemperatureC && !options.calciteSaturation)
    throw UsageError("--evaluation-temperature is the temperature of the calcite saturation: add --calcite-saturation");
}

// "mix A.csv B.csv --fraction F [--with NAME]".
void MixOptions(CliOptions& options, const Collected& c) {
  for (const auto* values : {&c.fractions, &c.withs})
    if (values->size() > 1) throw UsageError("--fraction or --with given twice");
  if (!options.mix.selected) {
    if (!c.fractions.empty() || !c.withs.empty())
      throw UsageError("--fraction and --with apply to mixtures: vontralek-cli mix A.csv B.csv --fraction F");
    return;
  }
  if (c.inputs.size() != 2 || c.inputs[0] == "-" || c.inputs[1] == "-")
    throw UsageError("mix needs two table files: vontralek-cli mix A.csv B.csv --fraction F [-o OUT.csv]");
  if (c.fractions.empty()) throw UsageError("mix needs --fraction F, the first table's share of the mixture (0 to 1)");
  const double f = NumberOf("--fraction", c.fractions.front(), "the first table's share, 0 to 1");
  if (!(f >= 0.0 && f <= 1.0))
    throw UsageError("--fraction " + c.fractions.front() + " is outside 0 to 1: give the first table's share");
  options.mix.first = c.inputs[0];
  options.mix.second = c.inputs[1];
  options.mix.fraction = f;
  if (!c.withs.empty()) options.mix.with = c.withs.front();
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
  // "mix" first: the mixtures of two tables.
  options.mix.selected = !args.empty() && args.front() == "mix";
  // CLI11 reads its arguments back to front.
  std::vector<std::string> reversed(args.rbegin(), args.rend() - (options.mix.selected ? 1 : 0));
  try {
    app.parse(reversed);
  } catch (const CLI::ArgumentMismatch& error) {
    // "--sheet: 1 required TEXT missing": say it plainly.
    const std::string text = error.what();
    throw UsageError("option " + text.substr(0, text.find(':')) + " needs a value");
  } catch (const CLI::ParseError& error) {
    throw UsageError(error.what()); // "The following argument was not expected: --bogus"
  }
  if (c.inputs.size() > 1 && !options.mix.selected)
    throw UsageError("more than one workbook named: \"" + c.inputs[1] + "\"");
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
                                {"carbonate", CarbonatePair::BicarbonateCarbonate},
                                {"dic ph", CarbonatePair::DICPH},
                                {"alkalinity dic", CarbonatePair::AlkalinityDIC}},
                               "ph (alkalinity and pH), pco2 (alkalinity and pCO2), carbonate (bicarbonate and "
                               "carbonate concentrations), dic-ph (DIC and pH) or alkalinity-dic (alkalinity and DIC)");
  TableOptions(options, c);
  MixOptions(options, c);
  if (options.mix.selected) options.table.selected = true;
  ReactionOptions(options, c);
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
  DiagramOptions(options, c.diagrams, c.diagramOuts);
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
