#pragma once

// The page a lab looks at after a run on several benches: one self-contained XHTML file (its
// style inline, its charts inline SVG, no script, no external file), well-formed so that a
// program can read it back. It shows
//   - a summary per bench: its ports, passed, failed and skipped cases, time, or why it
//     could not run;
//   - per script, a matrix of cases by benches, each cell the case's result and time, a failed
//     cell with the expectation, the expected and the actual value;
//   - the values that differ between benches, a row per value, the benches side by side;
//   - per bench, a chart of every step's response time, all on one scale.

#include "session/benchrun.h"
#include "session/scriptcompare.h"

#include <string>
#include <vector>

namespace tallyhost {

struct THtmlReportOptions
{
    std::string Title = "Test scripts on several benches";
    std::string Generated; // when the run was, as shown ("2026-12-08 02:30 UTC"); may be empty
    bool Compared = false; // the differences were looked for (else that section says so)
};

// The page, UTF-8.
std::string HtmlReport(const std::vector<TBenchResult>& results,
                       const std::vector<TDifference>& differences,
                       const THtmlReportOptions& options = {});

} // namespace tallyhost
