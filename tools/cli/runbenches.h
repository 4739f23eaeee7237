#pragma once

// tallyhost-cli run on several benches at once: the options that ask for it and the run.

#include "session/benchrun.h"
#include "session/scriptcheck.h"
#include "session/scriptrunner.h"

#include <string>
#include <vector>

namespace tallyhost::cli {

struct BenchArguments
{
    std::vector<TBench> Benches;
    bool Compare = false;
    std::string Html;
    bool Used() const { return !Benches.empty() || Compare || !Html.empty(); }
};

// Takes argv[index] when it is --bench, --benches, --compare or --html (with its value),
// advancing `index`; false when it is none of them. `error` is set for a value refused.
bool TakeBenchOption(int argc, char** argv, int& index, BenchArguments& args, std::string& error);

// What the options cannot be together with the single-bench ones; empty when fine.
std::string CheckBenchArguments(const BenchArguments& args, bool devicesGiven);

// Runs the checked scripts on every bench at once, prints a line per case with its bench (or
// the JSON report), writes the JUnit and HTML files asked for. Exit status: 0 every case passed
// on every bench, 1 a case failed or a bench could not run, 128 + the signal's number for a run
// stopped by SIGINT or SIGTERM (the reports are written all the same).
// The report page of a run that sent nothing (refused, or interrupted before it began): every
// bench asked for, each as not run for `cause`, with the scripts as they stand. A page left
// from an earlier run must never stand for this one.
void WriteNotRunPage(const BenchArguments& args, const std::vector<TScriptResult>& scripts,
                     const std::string& cause);

int RunOnBenches(const std::vector<TScript>& scripts, const TScriptPorts& ports,
                 const BenchArguments& args, const TRunOptions& options, const std::string& junit,
                 bool json);

} // namespace tallyhost::cli
