#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>

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

} // namespace

CliOptions ParseCommandLine(const std::vector<std::string>& args) {
  CliOptions options;
  CLI::App app("vontralek-cli");
  app.set_help_flag(); // the help text is our own, printed by the caller
  app.add_flag("-h,--help", options.help);
  app.add_flag("--version", options.version);
  // Every value is collected, so that an option given twice is named as such.
  std::vector<std::string> sheets, pairs, outputs, workbooks;
  app.add_option("--sheet", sheets)->take_all()->allow_extra_args(false);
  app.add_option("--pair", pairs)->take_all()->allow_extra_args(false);
  app.add_option("-o,--output", outputs)->take_all()->allow_extra_args(false);
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
  if (!sheets.empty()) options.sheetMode = SheetCode(sheets.front());
  if (!pairs.empty()) options.inputPair = PairCode(pairs.front());
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
         "sample row of the Batch sheet (worksheet 2). Concentrations in mmol/L,\n"
         "alkalinity in meq/L.\n"
         "\n"
         "  WORKBOOK             the workbook (.xlsx, .xlsm, .xls, .ods); default\n"
         "                       VONTRALEK.xls, else VONTRALEK.xlsx, in the program's folder\n"
         "  --sheet main|batch   data sheet: main (one sample, default) or batch\n"
         "  --pair ph|pco2|carbonate\n"
         "                       the carbonate-system variables the analysis gives:\n"
         "                       alkalinity and pH (default), alkalinity and pCO2,\n"
         "                       or bicarbonate and carbonate concentrations\n"
         "  -o, --output FILE    write the results to FILE and leave WORKBOOK untouched\n"
         "  -h, --help           show this help\n"
         "  --version            show the version\n"
         "\n"
         "Exit status: 0 success, 1 the run failed (the message names the cell or\n"
         "sample; results of earlier samples are saved), 2 a usage error, 130 or\n"
         "143 stopped by Ctrl-C or SIGTERM (the samples calculated so far are saved).\n";
}

} // namespace vontralek::cli
