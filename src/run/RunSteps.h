#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "model/ModelState.h"
#include "run/RunError.h"
#include "run/RunSummary.h"

// The steps of a run over a workbook: each runs guarded, so that a failure
// names where it happened and how far the run got.
namespace vontralek::sheet_run {

// Runs one step of the run. Returns the reason when it failed: where
// (context, only built when needed) and what went wrong; nothing when it
// succeeded. A RunError passes through.
template <typename Context, typename Step> std::optional<std::string> Attempt(Context&& context, Step&& step) {
  try {
    step();
    return std::nullopt;
  } catch (const RunError&) {
    throw;
  } catch (const std::exception& error) {
    return context() + ": " + error.what();
  }
}

// Runs one step; a failure ends the run with a RunError saying where it
// happened, what went wrong and how far the run got.
template <typename Context, typename Step>
void Guarded(const ModelState& state, const RunSummary& summary, Context&& context, Step&& step) {
  if (auto failure = Attempt(std::forward<Context>(context), std::forward<Step>(step))) {
    throw RunError(*failure, DescribeRunProgress(state.SheetMode, summary, ""));
  }
}

// A fixed context text.
inline auto Text(const char* text) {
  return [text] { return std::string(text); };
}

// Between two samples: a SIGINT or SIGTERM noted since ends the run here.
void StopIfAsked(const ModelState& state, const RunSummary& summary, const RunOptions& options);

// What to check when arithmetic faulted while solving a sample.
std::string ArithmeticHint(const ModelState& state);

// "Batch sample k (row k + 1 of the Batch sheet)".
std::string BatchSampleText(std::int64_t k);

} // namespace vontralek::sheet_run
