#include "cli/CliOptions.h"

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
  bool sheetSeen = false, pairSeen = false, outputSeen = false, onlyOperands = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyOperands || arg.empty() || arg[0] != '-' || arg == "-") {
      if (options.workbook) throw UsageError("more than one workbook named: \"" + arg + "\"");
      options.workbook = arg;
      continue;
    }
    if (arg == "--") {
      onlyOperands = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    // --name value or --name=value
    std::string name = arg, value;
    bool hasValue = false;
    if (const auto eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    if (name != "--sheet" && name != "--pair" && name != "--output" && name != "-o") {
      throw UsageError("unknown option \"" + arg + "\"");
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
      value = args[++i];
    }
    if (name == "--sheet") {
      if (sheetSeen) throw UsageError("--sheet given twice");
      sheetSeen = true;
      options.sheetMode = SheetCode(value);
    } else if (name == "--pair") {
      if (pairSeen) throw UsageError("--pair given twice");
      pairSeen = true;
      options.inputPair = PairCode(value);
    } else {
      if (outputSeen) throw UsageError("--output given twice");
      if (value.empty()) throw UsageError("--output needs a file name");
      outputSeen = true;
      options.output = value;
    }
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
         "sample; results of earlier samples are saved), 2 a usage error.\n";
}

} // namespace vontralek::cli
