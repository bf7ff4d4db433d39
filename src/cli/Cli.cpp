#include "cli/Cli.h"

#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <string>

#include <fmt/format.h>

#include "cli/CliOptions.h"
#include "cli/DiagramRequest.h"
#include "cli/TableMode.h"
#include "model/CarbonateTotals.h"
#include "run/Interruption.h"
#include "run/MineralRun.h"
#include "run/Run.h"

namespace vontralek::cli {

namespace {

// The progress window's caption and bar, drawn on a terminal line. Redrawn
// only when the caption changes, so a long batch does not flood the terminal.
class TerminalProgress : public ProgressListener {
public:
  explicit TerminalProgress(std::ostream& err) : err_(err) {}
  ~TerminalProgress() override {
    if (drawn_) err_ << '\n' << std::flush;
  }
  void OnProgress(const ProgressUpdate& update) override {
    if (drawn_ && update.caption == lastCaption_) return;
    constexpr int Cells = 40;
    const int filled = static_cast<int>(std::lround(update.percent / 100.0 * Cells));
    err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(Cells - filled), ' ') << "] " << update.caption << ", sample "
         << update.sample << " of " << update.sampleCount << "   " << std::flush;
    lastCaption_ = update.caption;
    drawn_ = true;
  }
  bool LooksAtTheState() const override { return false; }

private:
  std::ostream& err_;
  std::string lastCaption_;
  bool drawn_ = false;
};

// A number as the summary prints it: never "-0", and nothing below the
// smallest normal double (a denormal temperature is 0 °C).
double Shown(double v) { return std::abs(v) < std::numeric_limits<double>::min() ? 0.0 : v; }

void PrintSummary(std::ostream& out, const RunRequest& request, const RunSummary& summary, double totalSeconds,
                  const ModelState& state) {
  const std::filesystem::path target = request.outputPath ? *request.outputPath : request.workbookPath;
  const bool batch = request.sheetMode == DataSheet::Batch;
  out << fmt::format("{} sheet: {} {} calculated in {:.3f} s (open {:.3f} s, read {:.3f} s, solve {:.3f} s, "
                     "write {:.3f} s, save {:.3f} s).\n",
                     batch ? "Batch" : "Main", summary.samplesDone, summary.samplesDone == 1 ? "sample" : "samples",
                     totalSeconds, summary.openSeconds, summary.readSeconds, summary.solveSeconds, summary.writeSeconds,
                     summary.saveSeconds);
  if (!batch && summary.samplesDone == 1) {
    // Ionic strength mol/L -> mmol/L; "nd" where the model leaves a value undefined.
    const auto value = [](bool defined, double v) {
      return defined ? fmt::format("{:.10g}", Shown(v)) : std::string("nd");
    };
    out << fmt::format("  pH              {}\n"
                       "  pCO2            {:.10g}\n"
                       "  Ionic strength  {:.10g} mmol/L\n"
                       "  Weighted sum    {:.10g}\n"
                       "  SI calcite      {}\n"
                       "  SI gypsum       {}\n"
                       "  Charge balance  {:.4g} %\n",
                       value(state.PHDefined, state.PH), Shown(state.PCO2), Shown(state.IonicStrength * 1000.0),
                       Shown(state.AuxTable[WeightedSumRecord].WeightedSum),
                       value(state.SaturationIndexCalciteDefined, state.SaturationIndexCalcite),
                       value(state.SaturationIndexGypsumDefined, state.SaturationIndexGypsum),
                       Shown(state.ChargeBalanceError));
    // The reactions: what the water will do with calcite and with CO2 gas.
    const ReactionResults& r = state.Reactions;
    if (r.calcite) {
      const double ccpp = -r.dissolutionCapacity * kMolarMassCaCO3 * 1000.0; // mg/L as CaCO3
      out << fmt::format("  Calcite         pH {:.6g} at the evaluation temperature, pHC {:.6g}, CCPP {:.4g} mg/L "
                         "CaCO3 ({})\n",
                         Shown(r.pHEvaluation), Shown(r.pHC), Shown(ccpp),
                         ccpp > 0.0   ? "deposits calcite"
                         : ccpp < 0.0 ? "dissolves calcite"
                                      : "at saturation");
    }
    if (r.co2)
      out << fmt::format("  CO2 equilibrium pH {:.6g}, DIC {:.6g} mmol/L, CO2 given off {:.4g} mmol/L\n",
                         Shown(r.pHCO2), Shown(r.dicCO2 * 1000.0), Shown(r.co2Degassed * 1000.0));
  }
  // The phases of worksheet 3's table whose SI is closest to 0 (Main: the sample; Batch: the last one).
  if (summary.settings.saturationIndices && summary.samplesDone > 0 && summary.samplesFailed == 0)
    out << "  Near saturation " << PhasesClosestToSaturation(state, summary.settings, 3)
        << (batch ? " (SI, last sample)\n" : " (SI)\n");
  out << "  Model           "
      << (summary.settings.model == SpeciationModel::IonAssociation ? "ion association" : "as specified") << '\n';
  // The temperature the constants and the Davies slope were taken at.
  out << "  Temperature     ";
  if (summary.settings.temperature == TemperatureSource::Fixed) {
    out << fmt::format("{:.10g} °C (worksheet 4, E29)\n", Shown(summary.settings.temperatureC));
  } else if (summary.settings.temperature == TemperatureSource::PerSample && !batch) {
    out << (state.TemperatureGiven ? fmt::format("{:.10g} °C (Main sheet, V5)\n", Shown(state.TemperatureC))
                                   : std::string("none (V5 empty): log K at 25 °C, Davies A 0.512\n"));
  } else if (summary.settings.temperature == TemperatureSource::PerSample) {
    out << "per sample (Batch sheet, column CF)\n";
  } else {
    out << "none: log K at 25 °C, Davies A 0.512\n";
  }
  if (summary.samplesFailed > 0) out << DescribeFailures(summary) << '\n';
  if (summary.written) {
    out << "Results saved to " << target.string() << ".\n";
  } else {
    out << "Nothing was calculated; " << (request.outputPath ? "no output was written and " : "")
        << request.workbookPath.string() << " was left as it was.\n";
  }
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliEnvironment& env) {
  CliOptions options;
  try {
    options = ParseCommandLine(args);
  } catch (const UsageError& error) {
    err << "vontralek-cli: " << error.what() << "\nTry 'vontralek-cli --help'.\n";
    return 2;
  }
  if (options.help) {
    out << UsageText();
    return 0;
  }
  if (options.version) {
    out << "vontralek-cli " << VONTRALEK_VERSION << '\n';
    return 0;
  }

  if (options.table.selected) return RunTableMode(options, out, err, env);

  try {
    RunRequest request;
    if (options.workbook) {
      request.workbookPath = *options.workbook;
    } else {
      const DefaultWorkbook found = LocateDefaultWorkbook(env.programFolder, env.userData);
      request.workbookPath = found.path;
      if (found.createdFrom) out << "Made your own workbook " << found.path.string() << " from the template.\n";
      out << "Workbook: " << found.path.string() << '\n';
    }
    request.outputPath = options.output;
    request.sheetMode = options.sheetMode;
    request.inputPair = options.inputPair;
    if (request.outputPath) {
      std::error_code ignored;
      if (std::filesystem::equivalent(*request.outputPath, request.workbookPath, ignored)) {
        err << "vontralek-cli: --output names the input workbook itself; leave --output out to write into it.\n";
        return 2;
      }
    }

    request.options.stopSignal = env.stopSignal;
    request.options.model = options.model;
    if (options.extras) request.options.extraResults = true;
    if (options.keepGoing) request.options.onFailure = FailurePolicy::Continue;
    if (options.calciteSaturation) request.options.calciteSaturation = true;
    request.options.evaluationTemperatureC = options.evaluationTemperatureC;
    request.options.equilibriumPCO2 = options.equilibriumPCO2;

    DiagramRequest diagram(options);
    request.options.collector = diagram.Collector();
    ModelState state;
    const auto start = std::chrono::steady_clock::now();
    RunSummary summary;
    {
      TerminalProgress bar(err);
      const bool drawn = env.errorIsTerminal && !options.quiet && request.sheetMode == DataSheet::Batch;
      summary = RunWorkbook(state, request, drawn ? &bar : nullptr);
    }
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!options.quiet) PrintSummary(out, request, summary, total, state);
    std::ostream silent(nullptr); // --quiet: the diagram is drawn, not announced
    diagram.Finish(options.quiet ? silent : out);
    return summary.samplesFailed > 0 ? 1 : 0;
  } catch (const RunStopped& stopped) {
    // The samples calculated before the signal were saved, the temporary files removed.
    err << "vontralek-cli: " << stopped.what() << '\n';
    return ExitStatusForSignal(stopped.Signal());
  } catch (const std::exception& error) {
    err << "vontralek-cli: " << error.what() << '\n';
    return 1;
  }
}

} // namespace vontralek::cli
