#pragma once

#include <cstdint>
#include <string>

namespace vontralek {

// What the progress window shows before each batch sample.
struct ProgressUpdate {
  double percent = 0.0;  // k * 100 / N
  std::string caption;   // "25% completed", "100% finishing"
  float barWidth = 0.0F; // twips, percent * 5175 / 100, full bar 5175
};

// value rounded to digits decimal places, ties to the even integer.
double RoundToDigits(double value, std::int16_t digits);

// The caption and bar width for a percentage.
ProgressUpdate ShowProgress(double percent);

// Receives the progress of a batch run: the window, or the command line's bar.
class ProgressListener {
public:
  virtual ~ProgressListener() = default;
  virtual void OnProgress(const ProgressUpdate& update) = 0;
};

} // namespace vontralek
