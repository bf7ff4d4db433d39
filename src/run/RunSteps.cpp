#include "run/RunSteps.h"

#include <csignal>

#include <fmt/format.h>

namespace vontralek::sheet_run {

void StopIfAsked(const ModelState& state, const RunSummary& summary, const RunOptions& options) {
  const int signal = options.stopSignal != nullptr ? options.stopSignal->load() : 0;
  if (signal == 0) return;
  const char* name = signal == SIGINT ? "Ctrl-C (SIGINT)" : signal == SIGTERM ? "SIGTERM" : "a signal";
  throw RunStopped(std::string("The run was stopped by ") + name + ".",
                   DescribeRunProgress(state.SheetMode, summary, ""), signal);
}

std::string ArithmeticHint(const ModelState& state) {
  if (state.InputPair == CarbonatePair::None) {
    return " No pair of carbonate-system variables was chosen, so the hydrogen-ion concentration stays 0: choose "
           "alkalinity and pH, alkalinity and pCO2, or bicarbonate and carbonate.";
  }
  return " Check the sample's inputs: a zero or negative pH, pCO2, alkalinity or concentration can leave the "
         "model undefined (with bicarbonate and carbonate given, the carbonate concentration must not be 0).";
}

std::string BatchSampleText(std::int64_t k) {
  return fmt::format("Batch sample {} (row {} of the Batch sheet)", k, k + 1);
}

} // namespace vontralek::sheet_run
