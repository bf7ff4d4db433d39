#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "diagram/DiagramSample.h"
#include "model/ModelState.h"

namespace vontralek::cli {

// A command line that cannot be understood (exit status 2).
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct CliOptions {
  DataSheet sheetMode = DataSheet::Main;                 // --sheet main | batch
  CarbonatePair inputPair = CarbonatePair::AlkalinityPH; // --pair ph | pco2 | carbonate | dic-ph | alkalinity-dic
  std::optional<std::filesystem::path> workbook;         // default: the program's folder
  std::optional<std::filesystem::path> output;           // --output FILE
  // Override the workbook's settings for this run.
  std::optional<SpeciationModel> model; // --model "as specified" | "ion association"
  bool extras = false;                  // --extras: saturation indices and charge-balance error
  bool keepGoing = false;               // --keep-going: a failed sample gets its reason, the run goes on
  bool quiet = false;                   // --quiet: no progress bar, no summary
  // The reactions: --calcite-saturation, --evaluation-temperature C (°C, 0 to
  // 100), --equilibrium-pco2 ATM (a positive pressure).
  bool calciteSaturation = false;
  std::optional<double> evaluationTemperatureC;
  std::optional<double> equilibriumPCO2;
  // The table mode: an input ending in .csv, or "-" (standard input) with --csv.
  struct Table {
    bool selected = false;                          // an input ending in .csv, or --csv
    std::optional<std::filesystem::path> constants; // --constants WORKBOOK (worksheets 3 and 4)
    std::string belowLimit;                         // --below-limit stop|zero|half|limit ("" default)
    int threads = 0;                                // --threads N (0: all cores)
    bool pairGiven = false;                         // --pair was given
    bool saturationIndices = true;                  // off: --no-saturation-indices
    bool waterQuality = true;                       // off: --no-water-quality
    char delimiter = '\0';                          // --delimiter , | ; ('\0': from the header line)
    bool decimalComma = false;                      // --decimal-comma (with --delimiter)
    bool canonicalOutput = false;                   // --canonical-output: ',' and decimal points
    bool rawText = false;                           // --raw-text: no apostrophe before formula-like text
  } table;
  // "mix A.csv B.csv --fraction F [--with NAME]": the mixtures of two tables'
  // waters, row i of A with row i of B, or every row of A with B's row NAME.
  struct Mix {
    bool selected = false;
    std::filesystem::path first, second; // A and B
    double fraction = 0.0;               // A's share, 0 to 1
    std::optional<std::string> with;     // the sample name of B's one row
  } mix;
  // --diagram piper|stiff|schoeller --diagram-out FILE: drawn after the run.
  std::optional<diagram::DiagramKind> diagram;
  std::filesystem::path diagramOut;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name. Throws UsageError.
CliOptions ParseCommandLine(const std::vector<std::string>& args);

// The text of --help, generated from the option definitions.
std::string UsageText();

} // namespace vontralek::cli
