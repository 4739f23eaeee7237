#pragma once

// Test scripts (".ths"): a catalogue, named test cases, and in each case the commands to send
// with the answers they must get. Plain text, one step per line, so that a script reads like a
// bench log and diffs line by line:
//
//   # comments start with '#'
//   catalogue demo.thf                       (path relative to the script)
//   case "Open and close a receipt"
//     send Sales "Open receipt" "Receipt type=T"
//     expect printer-status 0000
//     expect fiscal-status mask 3000 = 1000
//     expect return-code 0
//     keep receipt "Receipt number"
//     repeat 3 Sales "Sell item" Description=Tea
//     wait 200
//
// A word is a run of characters without blanks; double quotes take blanks in ("" is one quote
// inside them) and join with what touches them, so "Receipt type"=T is one word. Inside quotes
// \xHH is the byte HH, so that a recorded CR, LF or any control byte survives a line-based
// file. Variables kept from an answer are used as ${name} in later values and expected texts;
// $$ is a '$'. Parsing refuses every line it does not understand, as "file:line: message",
// before anything is sent.
//
// Encodings: a script is UTF-8 text (a byte-order mark at its start is skipped). What meets
// the catalogue or the wire (group, command and field names, values, expected texts, patterns)
// is converted to Latin-1, the frames' one byte per character, as the window converts what is
// typed into its boxes; a character Latin-1 cannot hold is refused at its line. Case names
// never reach the printer and stay UTF-8. Refusals are UTF-8 text.

#include "session/commandvalues.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

// How an exchange ended.
enum class TScriptOutcome
{
    Answered,   // a final answer, or a fiscal lone ACK
    Nak,        // the printer refused the frame with NAK
    NoAnswer,   // time-out: nothing, or nothing that made an answer
    WriteError, // the frame could not be written (port closed or lost)
};

std::string_view OutcomeName(TScriptOutcome outcome);
std::optional<TScriptOutcome> OutcomeFromName(std::string_view name);

enum class TExpectKind
{
    PrinterStatus, // (word AND mask) = value; mask FFFF for an exact word
    FiscalStatus,
    Lit,          // a status record's text is lit in either word's panels
    ReturnCode,   // exact, decimal
    Field,        // an answer field: exact text, regular expression or numeric range
    Outcome,      // how the exchange ended
    FiscalAnswer, // the fiscal answer frames, one per line: contains, or regular expression
    ResponseTime, // the answer within so many milliseconds
};

enum class TCompare
{
    Equal,
    Regex,
    Range,
    Contains,
};

struct TExpectation
{
    int Line = 0;
    TExpectKind Kind = TExpectKind::Outcome;
    TCompare Compare = TCompare::Equal;
    std::uint16_t Word = 0;      // status words
    std::uint16_t Mask = 0xFFFF; // status words
    std::uint16_t ReturnCode = 0;
    TScriptOutcome Outcome = TScriptOutcome::Answered;
    std::string Field; // answer field caption (or its label "Field<n>")
    std::string Text;  // lit text, expected field text, regular expression, contained text
    double Low = 0;    // numeric range, both ends included
    double High = 0;
    int MaxMs = 0;       // response time bound
    bool Strict = false; // response time: '<' rather than '<='
};

// What an expectation checks, in the words of a failure: "printer status", "field 'Change'".
std::string ExpectationName(const TExpectation& e);
// The expected value as a failure reports it: "0000", "mask 3000 = 1000", "~ ^12", "1..5".
std::string ExpectedText(const TExpectation& e);

enum class TStepKind
{
    Send, // also a repeat: Repeat > 0
    Wait,
    Keep,
};

struct TScriptStep
{
    int Line = 0;
    TStepKind Kind = TStepKind::Send;
    std::string Group;
    std::string Command;
    std::vector<NamedValue> Values; // may hold ${variables}
    int Repeat = 0;                 // 0 a single send; 1..999 a repeat run (autoincrement)
    int WaitMs = 0;
    std::string Variable;                   // keep: the variable ...
    std::string Field;                      // ... and the answer field it takes
    std::vector<TExpectation> Expectations; // of a send: judged on its (last) answer
};

struct TScriptCase
{
    int Line = 0;
    std::string Name;
    std::vector<TScriptStep> Steps;
};

struct TScript
{
    std::string Path;      // as given; names the suite in reports
    std::string Catalogue; // as written in the script
    int CatalogueLine = 0;
    std::vector<TScriptCase> Cases;
};

// The catalogue's path: relative to the script's folder unless absolute.
std::string CataloguePath(const TScript& script);

struct TScriptParse
{
    TScript Script;
    std::vector<std::string> Refusals; // "file:line: message", in line order
};

// Parses a script's text; `fileName` names it in refusals. Every line is judged; the script
// may only run when Refusals is empty.
TScriptParse ParseScript(std::string_view text, std::string_view fileName);

// Reads and parses the file at `path`; an unreadable file is one refusal "path: cannot read".
TScriptParse LoadScript(const std::string& path);

// ---- variables ------------------------------------------------------------------------------

// A variable's name: a letter or '_', then letters, digits and '_'.
bool IsVariableName(std::string_view name);

// The names used as ${name} in `text`, in order (duplicates kept).
std::vector<std::string> VariablesUsed(std::string_view text);

// A value kept under a name. A case that would keep it but ended before its keep line leaves
// it not kept (Kept false, LostIn naming that case), so an older value is never used instead.
struct TVariable
{
    std::string Name;
    std::string Value;
    bool Kept = true;
    // The case that did not keep it, as a failure names it (Latin-1): "case 'B'", or "the case
    // at line 12" for a name Latin-1 cannot hold.
    std::string LostIn{};
};

// `text` with every ${name} replaced by its value and $$ by '$'; a '$' before anything else
// stays. Returns the name of a variable that has no value, or empty when all were found.
std::string ExpandVariables(std::string_view text, const std::vector<TVariable>& variables,
                            std::string& expanded);

// Why ${name} has no value: "no value kept in 'v'", and when a case failed before keeping it,
// " (case 'X' failed before keeping it)".
std::string MissingValueText(std::string_view name, const std::vector<TVariable>& variables);

// The text of a value without its ${variables} (what is known before a run); $$ gives '$'.
std::string FixedPart(std::string_view text);

// ---- words ----------------------------------------------------------------------------------

struct TScriptWord
{
    std::string Text;
    std::size_t Equals = std::string::npos; // the first '=' outside quotes, or npos
};

// Splits a line into words; an error text for a quote that is never closed. Inside quotes
// \xHH gives the Latin-1 character HH (as UTF-8, like the rest of the line).
std::string SplitScriptLine(std::string_view line, std::vector<TScriptWord>& words);

// Latin-1 bytes as a script word (UTF-8): bare when it needs no quotes, else quoted with ""
// inside, control bytes (CR, LF, TAB ...) and a backslash that would read as an escape written
// as \xHH. SplitScriptLine and ScriptTextToLatin1 give the bytes back exactly.
std::string QuoteScriptWord(std::string_view latin1);
// The same for UTF-8 text that stays UTF-8 (a path, a case name).
std::string QuoteScriptText(std::string_view utf8);

// A script's UTF-8 text as the frame's Latin-1 bytes. Returns the first character Latin-1
// cannot hold (as UTF-8), or empty when every one converted.
std::string ScriptTextToLatin1(std::string_view utf8, std::string& latin1);
// Latin-1 bytes as UTF-8 text, for messages and reports.
std::string Latin1ToUtf8(std::string_view latin1);

} // namespace tallyhost
