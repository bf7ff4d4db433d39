#include "cli/CliOptions.h"

#include <cctype>

#include <CLI/CLI.hpp>

#include "cli/DiagramRequest.h"
#include "common/Words.h"
#include "run/TableOptions.h"

namespace vontralek::cli {

namespace {

DataSheet SheetCode(const std::string& value) {
  if (value == "main") return DataSheet::Main;
  if (value == "batch") return DataSheet::Batch;
  throw UsageError("unknown data sheet \"" + value + "\" for --sheet: use main or batch");
}

CarbonatePair PairCode(const std::string& value) {
  if (value == "ph") return CarbonatePair::AlkalinityPH;
  if (value == "pco2") return CarbonatePair::AlkalinityPCO2;
  if (value == "carbonate") return CarbonatePair::BicarbonateCarbonate;
  throw UsageError("unknown variable pair \"" + value +
                   "\" for --pair: use ph (alkalinity and pH), pco2 (alkalinity and pCO2) or carbonate "
                   "(bicarbonate and carbonate concentrations)");
}

SpeciationModel ModelCode(const std::string& value) {
  if (value == "specified") return SpeciationModel::AsSpecified;
  if (value == "ion-association") return SpeciationModel::IonAssociation;
  throw UsageError("unknown model \"" + value + "\" for --model: use specified or ion-association");
}

bool EndsInCsv(const std::string& name) {
  return name.size() >= 4 && SameLetters(std::string_view(name).substr(name.size() - 4), ".csv");
}

// The table mode's options; they are refused without a table.
void TableOptions(CliOptions& options, const std::vector<std::string>& inputs, bool csv,
                  const std::vector<std::string>& constants, const std::vector<std::string>& belowLimits,
                  const std::vector<std::string>& threads) {
  CliOptions::Table& table = options.table;
  table.selected = csv || (!inputs.empty() && EndsInCsv(inputs.front()));
  if (!inputs.empty() && inputs.front() == "-" && !csv)
    throw UsageError("\"-\" reads a table from standard input: add --csv");
  for (const auto* values : {&constants, &belowLimits, &threads})
    if (values->size() > 1) throw UsageError("an option of the table mode was given twice");
  if (!table.selected && (!constants.empty() || !belowLimits.empty() || !threads.empty()))
    throw UsageError("--constants, --below-limit and --threads apply to a table (an input "
                     "ending in .csv, or --csv)");
  if (!constants.empty()) table.constants = constants.front();
  if (!belowLimits.empty()) table.belowLimit = belowLimits.front();
  if (!threads.empty()) {
    const std::string& text = threads.front();
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
  CLI::App app("vontralek-cli");
  app.set_help_flag(); // the help text is our own, printed by the caller
  app.add_flag("-h,--help", options.help);
  app.add_flag("--version", options.version);
  // Every value is collected, so that an option given twice is named as such.
  std::vector<std::string> sheets, pairs, outputs, workbooks, models, constants, belowLimits, threads;
  bool csv = false;
  app.add_option("--sheet", sheets)->take_all()->allow_extra_args(false);
  app.add_option("--pair", pairs)->take_all()->allow_extra_args(false);
  app.add_option("-o,--output", outputs)->take_all()->allow_extra_args(false);
  app.add_option("--model", models)->take_all()->allow_extra_args(false);
  app.add_flag("--extras", options.extras);
  app.add_flag("--keep-going", options.keepGoing);
  app.add_flag("--csv", csv);
  app.add_option("--constants", constants)->take_all()->allow_extra_args(false);
  app.add_option("--below-limit", belowLimits)->take_all()->allow_extra_args(false);
  app.add_option("--threads", threads)->take_all()->allow_extra_args(false);
  bool noSaturationIndices = false, noWaterQuality = false;
  app.add_flag("--no-saturation-indices", noSaturationIndices);
  app.add_flag("--no-water-quality", noWaterQuality);
  std::vector<std::string> delimiters;
  app.add_option("--delimiter", delimiters)->take_all()->allow_extra_args(false);
  app.add_flag("--decimal-comma", options.table.decimalComma);
  app.add_flag("--canonical-output", options.table.canonicalOutput);
  std::vector<std::string> diagrams, diagramOuts;
  app.add_option("--diagram", diagrams)->take_all()->allow_extra_args(false);
  app.add_option("--diagram-out", diagramOuts)->take_all()->allow_extra_args(false);
  app.add_option("workbook", workbooks);
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
  if (workbooks.size() > 1) throw UsageError("more than one workbook named: \"" + workbooks[1] + "\"");
  if (!workbooks.empty()) options.workbook = workbooks.front();
  if (sheets.size() > 1) throw UsageError("--sheet given twice");
  if (pairs.size() > 1) throw UsageError("--pair given twice");
  if (outputs.size() > 1) throw UsageError("--output given twice");
  if (models.size() > 1) throw UsageError("--model given twice");
  if (!models.empty()) options.model = ModelCode(models.front());
  if (!sheets.empty()) options.sheetMode = SheetCode(sheets.front());
  if (!pairs.empty()) options.inputPair = PairCode(pairs.front());
  TableOptions(options, workbooks, csv, constants, belowLimits, threads);
  options.table.pairGiven = !pairs.empty();
  if ((noSaturationIndices || noWaterQuality) && !options.table.selected)
    throw UsageError("--no-saturation-indices and --no-water-quality apply to a table (the workbook's E30 and E31 "
                     "choose for a workbook)");
  options.table.saturationIndices = !noSaturationIndices;
  options.table.waterQuality = !noWaterQuality;
  if (!options.table.selected && (!delimiters.empty() || options.table.decimalComma || options.table.canonicalOutput))
    throw UsageError("--delimiter, --decimal-comma and --canonical-output apply to a table (an input ending in .csv, "
                     "or --csv)");
  if (delimiters.size() > 1) throw UsageError("--delimiter given twice");
  if (!delimiters.empty()) {
    if (delimiters.front() != "," && delimiters.front() != ";")
      throw UsageError("--delimiter takes ',' or ';', not \"" + delimiters.front() + "\"");
    options.table.delimiter = delimiters.front().front();
  }
  if (options.table.decimalComma && options.table.delimiter != ';')
    throw UsageError("--decimal-comma needs --delimiter ';' (a comma cannot separate both fields and decimals)");
  DiagramOptions(options, diagrams, diagramOuts);
  if (!outputs.empty()) {
    if (outputs.front().empty()) throw UsageError("--output needs a file name");
    options.output = outputs.front();
  }
  return options;
}

std::string UsageText() {
  return "Usage: vontralek-cli [OPTIONS] [WORKBOOK]\n"
         "\n"
         "Speciates the water analyses of a VONTRALEK workbook and writes the results\n"
         "back into it: the single sample of the Main sheet (worksheet 1) or every\n"
         "sample row of the Batch sheet (worksheet 2). Inputs in mmol/L and meq/L\n"
         "unless worksheet 4 chooses other units (E27, E28); results in mmol/L.\n"
         "\n"
         "  WORKBOOK             the workbook (.xlsx, .xlsm, .xls, .ods); default\n"
         "                       VONTRALEK.xls, else VONTRALEK.xlsx, in the program's folder\n"
         "  --sheet main|batch   data sheet: main (one sample, default) or batch\n"
         "  --pair ph|pco2|carbonate\n"
         "                       the carbonate-system variables the analysis gives:\n"
         "                       alkalinity and pH (default), alkalinity and pCO2,\n"
         "                       or bicarbonate and carbonate concentrations\n"
         "  -o, --output FILE    write the results to FILE and leave WORKBOOK untouched\n"
         "  --model specified|ion-association\n"
         "                       the speciation model for this run, overriding the\n"
         "                       workbook's setting (worksheet 4, E23 \"Model\")\n"
         "  --extras             also write the saturation indices of calcite and gypsum\n"
         "                       and the charge-balance error (as E24 \"Extra results\" = yes)\n"
         "  --keep-going         a sample that fails gets its reason in column CE and the\n"
         "                       batch goes on (as E26 \"When a sample fails\" = continue);\n"
         "                       exit status 1 if any sample failed\n"
         "  --diagram piper|stiff|schoeller --diagram-out FILE.svg|FILE.png\n"
         "                       after the run, draw its samples (Batch sheet, Main\n"
         "                       sample, or a table's rows) into FILE, SVG or PNG\n"
         "  -h, --help           show this help\n"
         "  --version            show the version\n"
         "\n"
         "Settings block of worksheet 4 (column E; letter case and spaces do not matter;\n"
         "an empty cell means the default, the first value listed):\n"
         "  E23 Model                  as specified | ion association\n"
         "  E24 Extra results          no | yes\n"
         "  E25 Below detection limit  stop | zero | half | limit  (a cell \"<x\" counts as\n"
         "                             an error, 0, x/2 or x)\n"
         "  E26 When a sample fails    stop | continue\n"
         "  E27 Ion unit               mmol/L | mg/L | meq/L\n"
         "  E28 Alkalinity unit        meq/L | mg/L as CaCO3 | mg/L as HCO3\n"
         "  E29 Temperature            empty (none: log K at 25 °C) | °C for every sample |\n"
         "                             per sample (Batch column CF, Main V5)\n"
         "  B8:L8 molar masses in g/mol, needed for the mg/L units (CaCO3: F8 + L8;\n"
         "        nitrate reported as N: 14.007 in I8)\n"
         "\n"
         "Usage: vontralek-cli [OPTIONS] INPUT.csv [-o OUTPUT.csv]\n"
         "       vontralek-cli [OPTIONS] --csv - [-o OUTPUT.csv]\n"
         "\n"
         "Speciates every row of a table whose header names each column with its unit\n"
         "(see the README, \"Tables, Python and Dask\"); the results go to OUTPUT.csv\n"
         "(with the provenance record OUTPUT.csv.json beside it) or to standard output.\n"
         "\n"
         "  --csv                the input is a table (\"-\": standard input)\n"
         "  --pair ph|pco2|carbonate\n"
         "                       the pair to use when the columns give more than one\n"
         "  --constants WORKBOOK log K (worksheet 3), charges and weights (worksheet 4)\n"
         "                       of WORKBOOK instead of the shipped ones\n"
         "  --model specified|ion-association\n"
         "                       the speciation model (default: specified)\n"
         "  --below-limit stop|zero|half|limit\n"
         "                       what \"<x\" counts as (default: stop, an error)\n"
         "  --keep-going         give a bad row its reason in the status column and go on\n"
         "  --threads N          worker threads (default: all cores)\n"
         "  --no-saturation-indices, --no-water-quality\n"
         "                       leave out the SI_<phase> columns of the shipped phase\n"
         "                       table (or of the --constants workbook's), or log_a_H2O,\n"
         "                       hardness, dissolved solids, Larson-Skold, LSI, RSI, PSI\n"
         "  --delimiter ,|;      the field separator (default: from the header line; a\n"
         "                       ';'-separated header means decimal commas too)\n"
         "  --decimal-comma      numbers have a decimal comma (with --delimiter ';')\n"
         "  --canonical-output   write ',' and decimal points whatever the input uses\n"
         "\n"
         "Exit status: 0 success, 1 the run failed (the message names the cell or\n"
         "sample; results of earlier samples are saved), 2 a usage error, 130 or\n"
         "143 stopped by Ctrl-C or SIGTERM (the samples calculated so far are saved).\n";
}

} // namespace vontralek::cli
