#pragma once

// What `run` prints and writes alike on one printer and on several benches.

#include "session/scriptreport.h"

#include <string>

namespace tallyhost::cli {

// "PASS Printer is ready (0.062 s)", then ": " and why a case failed, was skipped or stopped.
std::string CaseLine(const TCaseResult& c);

// "5 passed, 1 failed, 0 skipped", and ", N stopped" when a stop cut cases off.
std::string Counts(const TRunTotals& t);

// Replaces the file at `path` with `text` at once (a report is never left half written).
bool WriteReportFile(const std::string& path, const std::string& text);

} // namespace tallyhost::cli
