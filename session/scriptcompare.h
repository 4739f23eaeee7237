#pragma once

// The answers of several benches to the same script, set side by side. Expectations only say
// what a script's author wrote down; a lab comparing two firmwares wants every value that
// differs, written down or not. Each send or repeat a bench ran is kept as the values it came
// to (TStepRecord); the comparison lists, for every step that ran on more than one bench, each
// value that is not the same on all of them. Response times are kept to be shown, never
// compared: two printers never answer in the same millisecond.

#include "session/exchange.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallyhost {

// One value of a step's result, as compared: "outcome", "printer status", "fiscal status",
// "return code", "lit", "field <caption>", "fiscal frames". Values are the bytes the printer
// sent (fields as the catalogue shows them).
struct TStepValue
{
    std::string Name;
    std::string Value;
};

// The values of an exchange's result in a fixed order: the outcome always; for a host answer
// the status words (four hexadecimal digits), the return code, the lit status texts (", "
// between them) and every answer field by caption; for a fiscal answer its frames (" | "
// between them).
std::vector<TStepValue> StepValues(const ExchangeResult& result);

// A send or repeat as one bench ran it.
struct TStepRecord
{
    std::string Script;
    std::string Case;
    int Line = 0;
    std::vector<TStepValue> Values;
    std::optional<int> ResponseMs;
};

// The steps of one bench, in the order they ran.
struct TBenchSteps
{
    std::string Bench;
    std::vector<TStepRecord> Steps;
};

// One value that is not the same on every bench that ran the step. `Values` holds one entry
// per bench given to CompareBenches, in that order: nullopt where the bench did not run the
// step, "" where it ran it but its result had no such value (a field missing from the answer:
// `Missing` is true there, and an empty value is not missing).
struct TDifference
{
    std::string Script;
    std::string Case;
    int Line = 0;
    std::string Name;
    std::vector<std::optional<std::string>> Values;
    std::vector<std::optional<int>> ResponseMs; // shown beside, not compared
    std::vector<bool> Missing;
};

// Every difference, in the order the steps ran on the first bench that ran them, a step's
// values in StepValues' order.
std::vector<TDifference> CompareBenches(const std::vector<TBenchSteps>& benches);

// "case 'Printer is ready', line 14, field Model: A=TH-SIM 1000  B=TH-SIM 2000", the script
// first when `withScript`; a value's bytes as they are (the caller makes them printable).
// A missing value is "(none)", a step the bench did not run "(not run)".
std::string DifferenceLine(const TDifference& d, const std::vector<std::string>& benchNames,
                           bool withScript);

} // namespace tallyhost
