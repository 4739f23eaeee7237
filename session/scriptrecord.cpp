#include "session/scriptrecord.h"

#include "session/script.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>

namespace tallyhost {

namespace {

// A recorded text (Latin-1 bytes) as a script word: every '$' doubled, so that nothing reads
// as a variable; controls escaped by QuoteScriptWord, so that every byte survives.
std::string Literal(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        out += c;
        if (c == '$')
            out += '$';
    }
    return QuoteScriptWord(out);
}

std::string TwoDigits(int n)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

std::string InputText(const TCommandFieldDef& field, const FieldInput& input)
{
    if (field.ControlType == ctDate) {
        // Four digits, as the dates a script takes are written (0999-12-31, not 999-12-31).
        char year[16];
        std::snprintf(year, sizeof year, "%04d", input.Date.Year);
        return std::string(year) + "-" + TwoDigits(input.Date.Month) + "-" +
               TwoDigits(input.Date.Day);
    }
    if (field.ControlType == ctTime)
        return TwoDigits(input.Time.Hour) + ":" + TwoDigits(input.Time.Minute) + ":" +
               TwoDigits(input.Time.Second);
    return input.Text;
}

std::string ReplaceControls(std::string text)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return text;
}

std::string ToLatin1(const std::string& utf8)
{
    std::string latin1;
    ScriptTextToLatin1(utf8, latin1);
    return latin1;
}

// The script's bytes; empty when it does not exist (`exists` false), none when it exists but
// cannot be read, so that an unreadable script is not taken for an empty one.
std::optional<std::string> ReadAll(const std::string& path, bool& exists)
{
    QFile file(QFile::decodeName(path.c_str()));
    exists = file.exists();
    if (!exists)
        return std::string();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string UnreadableText(const std::string& scriptPath)
{
    return "cannot record into " + scriptPath + ": it cannot be read";
}

// A script that is refused already, or made for another catalogue, is left alone.
std::string TargetRefusal(const std::string& scriptPath, const std::string& content,
                          const std::string& cataloguePath)
{
    const TScriptParse parse = ParseScript(content, scriptPath);
    for (const std::string& refusal : parse.Refusals) {
        if (refusal.find("the script has no case") == std::string::npos)
            return "cannot record into " + scriptPath + ": " + refusal;
    }
    std::error_code ec;
    if (!std::filesystem::equivalent(CataloguePath(parse.Script), cataloguePath, ec))
        return "cannot record into " + scriptPath + ": it is for the catalogue " +
               parse.Script.Catalogue;
    return {};
}

} // namespace

std::string RecordTargetRefusal(const std::string& scriptPath, const std::string& cataloguePath)
{
    bool exists = false;
    const std::optional<std::string> content = ReadAll(scriptPath, exists);
    if (!exists)
        return {};
    if (!content)
        return UnreadableText(scriptPath);
    return TargetRefusal(scriptPath, *content, cataloguePath);
}

namespace {

// A Repeat that ended early (cancelled, or a run refused: an autoincrement value grown too
// long, the link refusing the hand-over) after some runs were answered replays as those runs.
bool CutShort(const TRecordedSend& send)
{
    const ExchangeResult& r = *send.Result;
    return send.Repeat > 0 && r.Tally && r.Tally->AnsweredCount() > 0 &&
           (r.Outcome == ExchangeOutcome::Cancelled || r.Outcome == ExchangeOutcome::RefusedValue ||
            r.Outcome == ExchangeOutcome::LinkRefused);
}

} // namespace

std::string NotRecordedReason(const TRecordedSend& send)
{
    const ExchangeResult& r = *send.Result;
    if (CutShort(send))
        return {};
    switch (r.Outcome) {
    case ExchangeOutcome::Cancelled:
        return "cancelled before its answer";
    case ExchangeOutcome::RefusedValue:
    case ExchangeOutcome::LinkRefused:
    case ExchangeOutcome::NothingToSend:
        return "refused before it was sent" + (r.Refusal.empty() ? "" : " (" + r.Refusal + ")");
    default:
        return {};
    }
}

std::string RecordedCaseText(const std::string& name, const TRecordedSend& send)
{
    const ExchangeRequest& request = *send.Request;
    const ExchangeResult& r = *send.Result;
    if (const std::string why = NotRecordedReason(send); !why.empty())
        return "# " + Latin1ToUtf8(send.Group + " " + send.Command + ": " + ReplaceControls(why)) +
               ", not recorded\n";
    // A Repeat cut short after k answers replays as the k runs that were answered.
    const bool cut = CutShort(send);
    const int runs = cut ? r.Tally->AnsweredCount() : send.Repeat;
    std::string text = "case " + QuoteScriptWord(name) + "\n";
    if (cut)
        text += "  # " +
                (r.Outcome == ExchangeOutcome::Cancelled
                     ? std::string("cancelled")
                     : Latin1ToUtf8(ReplaceControls("ended (" + r.Refusal + ")"))) +
                " after " + std::to_string(runs) + " of " + std::to_string(send.Repeat) +
                " runs: the answered runs are replayed\n";
    text += "  " + (send.Repeat > 0 ? "repeat " + std::to_string(runs) : std::string("send")) +
            " " + QuoteScriptWord(send.Group) + " " + QuoteScriptWord(send.Command);
    const TCommandDefinition& def = request.Definition;
    for (std::size_t i = 0; i < request.Inputs.size() && i < static_cast<std::size_t>(MaxFields);
         ++i) {
        const TCommandFieldDef& field = def.Fields[i];
        if (field.ReadOnly)
            continue; // sent as it stands; a script cannot give it a value
        std::string caption = CaptionWithoutAccelerator(field.Caption);
        // A caption that another field shares, or none, is named by the field's number.
        bool shared = caption.empty();
        for (std::size_t j = 0; j < request.Inputs.size() && !shared; ++j)
            shared = j != i && CaptionWithoutAccelerator(def.Fields[j].Caption) == caption;
        if (shared || caption.find_first_not_of("0123456789") == std::string::npos)
            caption = std::to_string(i + 1);
        text += " " + QuoteScriptWord(caption) + "=" + Literal(InputText(field, request.Inputs[i]));
    }
    text += "\n";

    if (cut)
        return text + "  expect outcome answered\n";
    if (!r.Succeeded()) {
        std::string outcome = "answered";
        switch (r.Outcome) {
        case ExchangeOutcome::RefusedNak:
            outcome = "nak";
            break;
        case ExchangeOutcome::NoAnswer:
            outcome = "no-answer";
            break;
        default:
            outcome = "write-error";
            break;
        }
        return text + "  expect outcome " + outcome + "\n";
    }
    if (r.Fiscal) {
        text += "  expect outcome answered\n";
        for (const FiscalAnswerFrame& f : r.FiscalFrames)
            text += "  expect fiscal-answer contains " + Literal(f.Data) + "\n";
        return text;
    }
    text += "  expect printer-status " + StatusWordHex(r.PrinterStatus) + "\n";
    text += "  expect fiscal-status " + StatusWordHex(r.FiscalStatus) + "\n";
    text += "  expect return-code " + std::to_string(r.ReturnCode) + "\n";
    std::set<std::string> seen;
    for (const AnswerEntry& e : r.AnswerFields) {
        if (!e.Visible || e.Label == "Return code" || e.Label == "Reserved" ||
            !seen.insert(e.Label).second)
            continue;
        // A field without a caption is named by its place, as the runner finds it.
        const std::string label = e.Label.empty() ? "Field" + std::to_string(e.Position) : e.Label;
        text += "  expect field " + QuoteScriptWord(label) + " = " + Literal(e.Value) + "\n";
    }
    return text;
}

std::string AppendRecordedCase(const std::string& scriptPath, const std::string& cataloguePath,
                               const TRecordedSend& send)
{
    namespace fs = std::filesystem;
    bool exists = false;
    const std::optional<std::string> read = ReadAll(scriptPath, exists);
    if (!read)
        return UnreadableText(scriptPath);
    std::string content = *read;
    std::set<std::string> names;
    if (exists) {
        if (std::string refusal = TargetRefusal(scriptPath, content, cataloguePath);
            !refusal.empty())
            return refusal;
        const TScriptParse parse = ParseScript(content, scriptPath);
        for (const TScriptCase& c : parse.Script.Cases)
            names.insert(c.Name);
        if (!content.empty() && content.back() != '\n')
            content += '\n';
    } else {
        const fs::path folder = fs::absolute(fs::path(scriptPath)).parent_path();
        content = "# Recorded by Tallyhost: each case expects what the printer answered.\n";
        content += "catalogue " +
                   QuoteScriptText(fs::proximate(fs::absolute(cataloguePath), folder).string()) +
                   "\n";
    }
    // Case names are UTF-8 in the script; the command's name is Latin-1.
    const std::string command = Latin1ToUtf8(send.Command);
    std::string name = command;
    for (int n = 2; names.count(name); ++n)
        name = command + " " + std::to_string(n);
    content += "\n" + RecordedCaseText(ToLatin1(name), send);

    QSaveFile file(QFile::decodeName(scriptPath.c_str()));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(content.data(), static_cast<qint64>(content.size())) !=
            static_cast<qint64>(content.size()) ||
        !file.commit())
        return "cannot write " + scriptPath;
    return {};
}

} // namespace tallyhost
