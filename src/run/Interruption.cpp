#include "run/Interruption.h"

#include <csignal>

#include "workbook/Workbook.h"

namespace vontralek {

namespace {

// Lock-free, so the handler may store into it.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void NoteStopSignal(int signal) {
  stopSignal.store(signal);
  workbook::StopConversion(); // async-signal-safe
}

} // namespace

void InstallStopHandlers() {
  struct sigaction action = {};
  action.sa_handler = NoteStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART; // reads and writes in progress carry on
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

const std::atomic<int>& StopSignal() { return stopSignal; }

} // namespace vontralek
