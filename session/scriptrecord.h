#pragma once

// Recording: an exchange as it went becomes a test case that expects exactly what the printer
// gave, so that replaying it against the same printer passes and against one that answers
// otherwise fails on that case. tallyhost-cli send --record and the terminal window's Record
// toggle both append cases this way.

#include "session/exchange.h"

#include <string>
#include <vector>

namespace tallyhost {

// What is recorded of one Send or Repeat.
struct TRecordedSend
{
    std::string Group;
    std::string Command;
    const ExchangeRequest* Request = nullptr; // its inputs are the values recorded
    int Repeat = 0;                           // 0 a Send
    const ExchangeResult* Result = nullptr;
};

// The lines of one case named `name`: the send (every field the operator can change, by
// caption) and, as expectations, the status words, return code and answer fields of a host
// answer, the frames of a fiscal one, or the outcome of an exchange that failed.
std::string RecordedCaseText(const std::string& name, const TRecordedSend& send);

// Why cases of `cataloguePath` cannot be recorded into the script at `scriptPath`: it is
// unreadable, refused, or made for another catalogue. Empty when they can (a missing script is
// created by the first case). Checked when the script is chosen, before anything is sent.
std::string RecordTargetRefusal(const std::string& scriptPath, const std::string& cataloguePath);

// Appends one case to the script at `scriptPath`, creating it with its catalogue line (the
// catalogue's path relative to the script's folder) when missing. The case is named after the
// command, numbered when the script has that name already. Empty on success, else why not:
// the script is unreadable, refused, or made for another catalogue.
std::string AppendRecordedCase(const std::string& scriptPath, const std::string& cataloguePath,
                               const TRecordedSend& send);

} // namespace tallyhost
