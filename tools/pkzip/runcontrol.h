#pragma once

#include "fileio.h"

#include <cstdint>
#include <string>

namespace pkzip {

// What a run is told while it works (stop) and what it tells (how far it got).
//
// A stop is SIGTERM, SIGINT or SIGHUP: from then on the run's loops see stopRequested() at their
// next block (a megabyte of a large file, a 256 KiB block of a parallel deflate, each member) and
// end with stoppedError(), undoing what the run had begun.
void watchForStopRequests();
bool stopRequested();
// For tests: as if a stop had arrived (true) or never had (false).
void setStopRequested(bool requested);
// ECANCELED, "stopped on request".
Error stoppedError();

// The run's progress for whoever waits for it: each report is one line "DONE TOTAL" (bytes read so
// far and the bytes the run will read), appended to the file named by -progress=@FILE at most
// every 100 milliseconds, and once more at the end. A reader takes the last whole line. Without a
// file nothing is written.
namespace progress {
// Starts the reports; a file that cannot be opened leaves the run without them.
void start(const std::string& hostPath, uint64_t total);
// Bytes read since the last call; from any thread.
void advance(uint64_t bytes);
// The last report, whatever the time since the one before.
void finish();
} // namespace progress

} // namespace pkzip
