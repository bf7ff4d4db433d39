#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/ModelState.h"
#include "model/RunSettings.h"

namespace vontralek {

class SampleCollector; // run/SampleCollector.h

// How far a run got and what it used; how it is driven beyond the
// workbook's own settings; the texts that tell the user how far it got.

struct RunSummary {
  std::int64_t samplesDone = 0;    // samples solved and written
  std::int64_t samplesReached = 0; // the last sample processed (calculated or failed with its reason)
  std::int64_t samplesFound = 0;   // batch: samples found in column A; single sample: 1
  double openSeconds = 0, solveSeconds = 0, writeSeconds = 0, saveSeconds = 0;
  double readSeconds = 0; // parameters, headings and sample inputs
  // A sample's results or failure were written to the workbook, which is then
  // saved. A run that ends before (while reading and checking its inputs, or
  // with no sample to calculate) leaves the file as it was, byte for byte.
  bool written = false;
  // Batch: the status column CE is kept ("ok" or the reason): with
  // "continue", and with "stop" when an earlier run left it (CE1 "Status").
  bool statusColumn = false;
  // With "continue": samples that failed and got their reason, and the rows
  // of the first of them (at most kFailedRowsListed).
  std::int64_t samplesFailed = 0;
  std::vector<std::int64_t> firstFailedRows;
  static constexpr std::size_t kFailedRowsListed = 10;
  RunSettings settings; // as the run used them: the workbook's, then the overrides
};

// How a run is driven beyond the workbook's own settings.
struct RunOptions {
  // Override the workbook's settings for this run (command line).
  std::optional<SpeciationModel> model;
  std::optional<bool> extraResults;
  std::optional<FailurePolicy> onFailure;
  // The reactions (worksheet 4, E32 to E34): calcite saturation on or off, its
  // evaluation temperature in °C, the CO2 pressure of the open-system
  // equilibrium in atm.
  std::optional<bool> calciteSaturation;
  std::optional<double> evaluationTemperatureC;
  std::optional<double> equilibriumPCO2;
  // When not null, polled between samples: a signal number other than 0 (set
  // by a SIGINT/SIGTERM handler) ends the run after the current sample.
  const std::atomic<int>* stopSignal = nullptr;
  // When not null, gets every sample written (its major ions, or none when it failed).
  SampleCollector* collector = nullptr;
};

// How far a run got, for the messages: "Samples 1 to 3 (rows 2 to 4) were
// calculated and saved to ...; ..." (savedTo empty: not saved), then what to
// do: correct the cause, or (interrupted) run the batch again.
std::string DescribeRunProgress(DataSheet sheetMode, const RunSummary& summary, const std::string& savedTo,
                                bool interrupted = false);

// The account of a batch whose failed samples got their reasons ("continue"):
// "990 samples calculated, 10 failed (their reasons are in column CE); first
// failing rows: 12, 100, ...".
std::string DescribeFailures(const RunSummary& summary);

} // namespace vontralek
