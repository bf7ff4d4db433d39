#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "run/TableProgress.h"

namespace vontralek::cli {

// The progress of a long table run on a terminal's error stream: a bar when
// the input's size is known, the rows written, the rate and the time left.
// Drawn once the run has lasted quietSeconds (a short run stays silent),
// redrawn four times a second, ended with a line break.
class TableProgressBar : public TableProgressListener {
public:
  using Clock = std::chrono::steady_clock;
  // fractionRead: how much of the input was read (none: unknown, e.g. a pipe).
  TableProgressBar(std::ostream& err, std::function<std::optional<double>()> fractionRead, double quietSeconds = 1.0);
  ~TableProgressBar() override;
  void OnRowsWritten(std::int64_t rows) override;

  // The line drawn after rows in seconds with fraction of the input read,
  // e.g. "[##########          ]  50%  120,000 rows  40,000 rows/s  0:03 left".
  static std::string Line(std::int64_t rows, double seconds, std::optional<double> fraction);

private:
  void Draw(std::int64_t rows, Clock::time_point now);
  std::ostream& err_;
  std::function<std::optional<double>()> fractionRead_;
  double quietSeconds_;
  Clock::time_point start_ = Clock::now(), lastDrawn_{};
  std::int64_t rows_ = 0;
  bool drawn_ = false;
};

} // namespace vontralek::cli
