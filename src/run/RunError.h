#pragma once

#include <string>

#include "common/Errors.h"

namespace vontralek {

// Whatever ends a run: the message names the worksheet, cell or sample row,
// the cause, and how far the run got (results of earlier samples are saved).
class RunError : public VontralekError {
public:
  using VontralekError::VontralekError;
  // cause: what went wrong and where; progress: how far the run got.
  RunError(const std::string& cause, const std::string& progress)
      : VontralekError(progress.empty() ? cause : cause + " " + progress), cause_(cause) {}
  // The message without the account of how far the run got.
  std::string Cause() const { return cause_.empty() ? std::string(what()) : cause_; }

private:
  std::string cause_;
};

// The run was stopped by SIGINT or SIGTERM between two samples; the samples
// before were kept.
class RunStopped : public RunError {
public:
  RunStopped(const std::string& cause, const std::string& progress, int signal)
      : RunError(cause, progress), signal_(signal) {}
  int Signal() const { return signal_; }

private:
  int signal_;
};

} // namespace vontralek
