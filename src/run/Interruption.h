#pragma once

#include <atomic>

namespace vontralek {

// SIGINT (Ctrl-C) and SIGTERM end a run between two samples rather than at
// once: the handlers note the signal here and stop a running LibreOffice
// conversion; the run polls the note (RunOptions::stopSignal) after each
// sample, saves what was calculated and reports that it was stopped.
void InstallStopHandlers();

// The signal that asked the program to stop, 0 while none did.
const std::atomic<int>& StopSignal();

// The exit status of a program ended by that signal: 128 + its number (130
// for SIGINT, 143 for SIGTERM).
inline int ExitStatusForSignal(int signal) { return 128 + signal; }

} // namespace vontralek
