#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "run/DiagramSamples.h"

namespace vontralek::cli {

// --diagram KIND and --diagram-out FILE: both or neither. Throws UsageError
// for one without the other, an unknown kind, a file that is neither .svg
// nor .png, or either given twice.
void DiagramOptions(CliOptions& options, const std::vector<std::string>& kinds, const std::vector<std::string>& files);

// The diagram a command line asks for: the run hands its samples to
// Collector(), and Finish draws them into the file after the run.
class DiagramRequest {
public:
  explicit DiagramRequest(const CliOptions& options) : options_(options) {}
  // Null without --diagram.
  SampleCollector* Collector() { return options_.diagram ? &samples_ : nullptr; }
  // Writes the file and says so on out ("Piper diagram of 3 samples (meq/L)
  // written to FILE."). Throws VontralekError when it cannot be written.
  void Finish(std::ostream& out);

private:
  const CliOptions& options_;
  DiagramSamples samples_;
};

} // namespace vontralek::cli
