#include "cli/TableProgressBar.h"

#include <cmath>

#include <fmt/format.h>

namespace vontralek::cli {
namespace {

constexpr double kRedrawSeconds = 0.25; // between two drawings
constexpr int kCells = 20;

// 1234567 -> "1,234,567"
std::string Grouped(std::int64_t n) {
  std::string digits = std::to_string(n), text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string Duration(double seconds) {
  const auto s = static_cast<std::int64_t>(std::ceil(seconds));
  return s >= 3600 ? fmt::format("{}:{:02}:{:02}", s / 3600, s / 60 % 60, s % 60)
                   : fmt::format("{}:{:02}", s / 60, s % 60);
}

} // namespace

TableProgressBar::TableProgressBar(std::ostream& err, std::function<std::optional<double>()> fractionRead,
                                   double quietSeconds)
    : err_(err), fractionRead_(std::move(fractionRead)), quietSeconds_(quietSeconds) {}

TableProgressBar::~TableProgressBar() {
  if (!drawn_) return;
  Draw(rows_, Clock::now()); // the final count
  err_ << '\n' << std::flush;
}

std::string TableProgressBar::Line(std::int64_t rows, double seconds, std::optional<double> fraction) {
  std::string line;
  if (fraction) {
    const int filled = static_cast<int>(std::lround(*fraction * kCells));
    line = fmt::format("[{}{}] {:3.0f}%  ", std::string(static_cast<std::size_t>(filled), '#'),
                       std::string(static_cast<std::size_t>(kCells - filled), ' '), *fraction * 100.0);
  }
  const double rate = seconds > 0.0 ? static_cast<double>(rows) / seconds : 0.0;
  line += fmt::format("{} rows  {} rows/s", Grouped(rows), Grouped(std::llround(rate)));
  if (fraction && *fraction > 0.0 && *fraction < 1.0) // the rest read at the rate so far
    line += "  " + Duration(seconds * (1.0 - *fraction) / *fraction) + " left";
  return line;
}

void TableProgressBar::OnRowsWritten(std::int64_t rows) {
  rows_ = rows;
  if (rows % 64 != 0) return; // the clock is asked every 64 rows
  const Clock::time_point now = Clock::now();
  const double running = std::chrono::duration<double>(now - start_).count();
  if (running < quietSeconds_ || std::chrono::duration<double>(now - lastDrawn_).count() < kRedrawSeconds) return;
  Draw(rows, now);
}

void TableProgressBar::Draw(std::int64_t rows, Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - start_).count();
  // "\033[K" clears what a longer line left behind.
  err_ << '\r' << Line(rows, seconds, fractionRead_ ? fractionRead_() : std::nullopt) << "\033[K" << std::flush;
  lastDrawn_ = now;
  drawn_ = true;
}

} // namespace vontralek::cli
