#pragma once

#include <cstdint>
#include <string>

namespace vontralek {

// The progress of a batch before sample k of N: what the progress window and
// the command line's bar show. Each draws its own bar from the percentage.
struct ProgressUpdate {
  std::int64_t sample = 0;      // k, 1-based
  std::int64_t sampleCount = 0; // N
  double percent = 0.0;         // k * 100 / N
  std::string caption;          // "25% completed", "100% finishing"
};

// value rounded to digits decimal places, ties to the even integer.
double RoundToDigits(double value, std::int16_t digits);

// The caption for a percentage (sample and sampleCount are left 0).
ProgressUpdate ShowProgress(double percent);

// Receives the progress of a batch run: the window, or the command line's bar.
class ProgressListener {
public:
  virtual ~ProgressListener() = default;
  virtual void OnProgress(const ProgressUpdate& update) = 0;
  // Whether OnProgress may look at the state the run works in (where it
  // stands between the samples). A listener that only shows the update says
  // no, and the run may then solve the samples on a second core meanwhile.
  virtual bool LooksAtTheState() const { return true; }
};

} // namespace vontralek
