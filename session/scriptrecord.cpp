#include "session/scriptrecord.h"

#include "session/script.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <filesystem>
#include <set>

namespace tallyhost {

namespace {

// A recorded text as a script word: every '$' doubled, so that nothing reads as a variable.
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
    if (field.ControlType == ctDate)
        return std::to_string(input.Date.Year) + "-" + TwoDigits(input.Date.Month) + "-" +
               TwoDigits(input.Date.Day);
    if (field.ControlType == ctTime)
        return TwoDigits(input.Time.Hour) + ":" + TwoDigits(input.Time.Minute) + ":" +
               TwoDigits(input.Time.Second);
    return input.Text;
}

std::string ReadAll(const std::string& path, bool& exists)
{
    QFile file(QFile::decodeName(path.c_str()));
    exists = file.exists();
    if (!exists || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
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
    const std::string content = ReadAll(scriptPath, exists);
    if (!exists)
        return {};
    QFile file(QFile::decodeName(scriptPath.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        return "cannot record into " + scriptPath + ": it cannot be read";
    return TargetRefusal(scriptPath, content, cataloguePath);
}

std::string RecordedCaseText(const std::string& name, const TRecordedSend& send)
{
    const ExchangeRequest& request = *send.Request;
    const ExchangeResult& r = *send.Result;
    std::string text = "case " + QuoteScriptWord(name) + "\n";
    text += "  " +
            (send.Repeat > 0 ? "repeat " + std::to_string(send.Repeat) : std::string("send")) +
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
        text += "  expect field " + QuoteScriptWord(e.Label) + " = " + Literal(e.Value) + "\n";
    }
    return text;
}

std::string AppendRecordedCase(const std::string& scriptPath, const std::string& cataloguePath,
                               const TRecordedSend& send)
{
    namespace fs = std::filesystem;
    bool exists = false;
    std::string content = ReadAll(scriptPath, exists);
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
                   QuoteScriptWord(fs::proximate(fs::absolute(cataloguePath), folder).string()) +
                   "\n";
    }
    std::string name = send.Command;
    for (int n = 2; names.count(name); ++n)
        name = send.Command + " " + std::to_string(n);
    content += "\n" + RecordedCaseText(name, send);

    QSaveFile file(QFile::decodeName(scriptPath.c_str()));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(content.data(), static_cast<qint64>(content.size())) !=
            static_cast<qint64>(content.size()) ||
        !file.commit())
        return "cannot write " + scriptPath;
    return {};
}

} // namespace tallyhost
