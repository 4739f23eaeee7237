// tallyhost-cli send and show: one command of a terminal file, headless.
//
//   tallyhost-cli send --file FILE.thf --group G --command C [--device PATH | --com N]
//                      [--fiscal-device PATH] [--baud B] [--timeout MS] [--repeat N]
//                      [--reserved] [--json] [NAME=VALUE ...]
//   tallyhost-cli show --file FILE.thf [--group G --command C] [--json]
//
// send loads the command's definition and the status records, takes each field's value from
// NAME=VALUE (NAME is the field's caption without "&", or its 1-based number; the value typed
// as into the window's box, refused where the box would not take it or the field is read only)
// or else from what the terminal window would show at first, converts it with the same core
// function the window uses and sends it on the host link or the fiscal link as the command's mode
// says. The answer is printed decoded: both status words with the texts of their panels, the return
// code with its description and every answer value under its caption, formatted by its answer
// field.
//
// Exit status: 0 answer (or fiscal ACK) received; 1 the exchange failed (time-out, write
// error, NAK); 2 refused before anything was sent (bad arguments, unknown command, a value its
// field cannot carry, the port cannot be opened, the link refused the frame).

#include "core/answerdecode.h"
#include "core/colors.h"
#include "core/errors.h"
#include "core/fieldconvert.h"
#include "core/inputrules.h"
#include "core/profile.h"
#include "core/repeattally.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "core/treeedit.h"
#include "core/valueformat.h"
#include "links/auxframe.h"
#include "links/devicetable.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "session/commandvalues.h"
#include "session/exchange.h"
#include "session/request.h"
#include "session/script.h"
#include "session/scriptrecord.h"
#include "tools/cli/cliutil.h"
#include "tools/cli/commands.h"

#include <QCoreApplication>
#include <QDate>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace tallyhost;
using tallyhost::cli::Printable;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitExchangeError = 1;
constexpr int ExitRefused = 2;

// The program's own defaults: the host port at 9600 bit/s, the fiscal answer wait 1000 ms.
constexpr TBaudRate DefaultBaudRate = br9600;
constexpr std::int32_t DefaultFiscalTimeOutMs = 1000;

constexpr const char* SendUsage =
    "usage: tallyhost-cli send --file FILE.thf --group G --command C\n"
    "           [--device PATH | --com N] [--fiscal-device PATH] [--baud B] [--timeout MS]\n"
    "           [--repeat N] [--reserved] [--json] [--record FILE] [NAME=VALUE ...]\n"
    "  NAME=VALUE   value of a command field: NAME is its caption without '&' or its number;\n"
    "               fields not named keep their default text (dates: YYYY-MM-DD or today,\n"
    "               times: HH:MM[:SS] or now). x'..' hex escapes stand for raw bytes.\n"
    "               A value is taken as the window's box takes typed keys (its type and\n"
    "               length, hexadecimal and Boolean letters upper-cased); a value the box\n"
    "               would not take, or one for a read-only field, is refused.\n"
    "  --device     host port device (default COM1 through the device table)\n"
    "  --com N      port 1..4 of the link the command uses\n"
    "  --fiscal-device  fiscal port device (default COM2 through the device table)\n"
    "  --baud B     host port speed, 1200..38400 (default 9600)\n"
    "  --timeout    fiscal answer wait per read in ms, 0 = no limit (default 1000)\n"
    "  --repeat N   send a host command N times (1..999), autoincrementing; shows the last answer\n"
    "  --reserved   also list the reserved entries of extended-protocol answers\n"
    "  --record FILE  append the exchange to the test script FILE as a case that expects\n"
    "               what the printer answered (FILE is created when missing)\n";

constexpr const char* ShowUsage =
    "usage: tallyhost-cli show --file FILE.thf [--group G --command C] [--json]\n";

// ---- small helpers --------------------------------------------------------------------------

QString Latin1(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::optional<int> ParseNumber(std::string_view text)
{
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

void PrintJson(const QJsonObject& object)
{
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Indented).constData(), stdout);
}

// Reports a refusal: one line on stderr, or {"error": ...} with --json.
int Refuse(bool json, const std::string& message)
{
    if (json) {
        QJsonObject o;
        o["error"] = Latin1(message);
        PrintJson(o);
    }
    std::fprintf(stderr, "tallyhost-cli: %s\n", Latin1(message).toStdString().c_str());
    return ExitRefused;
}

// Options shared by both subcommands; "value" options accept "--opt VALUE" and "--opt=VALUE".
struct Options
{
    std::string File;
    std::optional<std::string> Group;
    std::optional<std::string> Command;
    std::string Device;
    std::optional<int> Com;
    std::string FiscalDevice;
    TBaudRate Baud = DefaultBaudRate;
    std::int32_t TimeOut = DefaultFiscalTimeOutMs;
    std::optional<int> Repeat;
    bool Reserved = false;
    bool Json = false;
    std::vector<std::pair<std::string, std::string>> Values;
    std::string Record; // --record: the test script that gets the exchange as a case
};

// "U+20AC": a character named in a message that is Latin-1 itself.
std::string CodePoint(const std::string& utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const char32_t c = text.isEmpty() ? 0 : text.toUcs4().front();
    return QStringLiteral("U+%1")
        .arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'))
        .toUpper()
        .toStdString();
}

std::string ParseOptions(int argc, char** argv, bool sendOptions, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string name(arg);
        std::optional<std::string> inlineValue;
        if (arg.substr(0, 2) == "--") {
            if (const auto eq = arg.find('='); eq != std::string_view::npos) {
                name = std::string(arg.substr(0, eq));
                inlineValue = std::string(arg.substr(eq + 1));
            }
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };
        auto number = [&](int low, int high) -> std::optional<int> {
            const auto v = value();
            if (!v)
                return std::nullopt;
            const auto n = ParseNumber(*v);
            if (!n || *n < low || *n > high)
                return std::nullopt;
            return n;
        };

        if (name == "--json") {
            o.Json = true;
        } else if (name == "--file") {
            const auto v = value();
            if (!v || v->empty())
                return "--file needs a terminal file";
            o.File = *v;
        } else if (name == "--group" || name == "--command") {
            // Typed as UTF-8 like the values; the catalogue names them in Latin-1.
            const bool group = name == "--group";
            const auto v = value();
            if (!v)
                return group ? "--group needs a group name" : "--command needs a command name";
            std::string latin1;
            if (const std::string bad = ScriptTextToLatin1(*v, latin1); !bad.empty())
                return std::string(group ? "the group" : "the command") +
                       " name holds the character " + CodePoint(bad) +
                       ", which no catalogue holds (Latin-1)";
            (group ? o.Group : o.Command) = std::move(latin1);
        } else if (sendOptions && name == "--device") {
            const auto v = value();
            if (!v || v->empty())
                return "--device needs a path";
            o.Device = *v;
        } else if (sendOptions && name == "--fiscal-device") {
            const auto v = value();
            if (!v || v->empty())
                return "--fiscal-device needs a path";
            o.FiscalDevice = *v;
        } else if (sendOptions && name == "--com") {
            if (!(o.Com = number(1, 4)))
                return "--com needs a port number 1 to 4";
        } else if (sendOptions && name == "--baud") {
            const auto n = number(1, 1000000);
            if (!n || !BaudRateFromValue(*n, o.Baud))
                return "--baud needs 1200, 2400, 4800, 9600, 19200 or 38400";
        } else if (sendOptions && name == "--timeout") {
            const auto n = number(0, 3600000);
            if (!n)
                return "--timeout needs a number of milliseconds (0 = no limit)";
            o.TimeOut = *n;
        } else if (sendOptions && name == "--record") {
            const auto v = value();
            if (!v || v->empty())
                return "--record needs a script file";
            o.Record = *v;
        } else if (sendOptions && name == "--repeat") {
            if (!(o.Repeat = number(1, MaxRepeatCount)))
                return "--repeat needs a count from 1 to 999";
        } else if (sendOptions && name == "--reserved") {
            o.Reserved = true;
        } else if (arg.substr(0, 1) == "-") {
            return "unknown option " + std::string(arg);
        } else if (const auto eq = arg.find('=');
                   sendOptions && eq != std::string_view::npos && eq > 0) {
            // A terminal types UTF-8; the frame carries Latin-1, one byte a character, as the
            // window converts what is typed into its boxes.
            std::string name;
            std::string value;
            const std::string typedName(arg.substr(0, eq));
            const std::string typedValue(arg.substr(eq + 1));
            if (const std::string bad = ScriptTextToLatin1(typedName, name); !bad.empty())
                return "a field name holds the character " + CodePoint(bad) +
                       ", which no catalogue holds (Latin-1)";
            if (const std::string bad = ScriptTextToLatin1(typedValue, value); !bad.empty())
                return "field '" + name + "': the character " + CodePoint(bad) +
                       " cannot go into a frame (frames are Latin-1, one byte a character)";
            o.Values.emplace_back(std::move(name), std::move(value));
        } else {
            return "unexpected argument '" + std::string(arg) + "' (values are NAME=VALUE)";
        }
    }
    if (o.File.empty())
        return "--file is required";
    if (o.Group.has_value() != o.Command.has_value())
        return "--group and --command go together";
    if (sendOptions && !o.Group)
        return "--group and --command are required";
    if (!o.Device.empty() && o.Com)
        return "give either --device or --com, not both";
    return {};
}

// ---- the command's definition ---------------------------------------------------------------

// The inputs of every command field: the NAME=VALUE arguments by caption or number, the rest
// what the window shows at first.
std::string CollectInputs(const Options& o, const TTerminalCache& cache, ExchangeRequest& request)
{
    return FillNamedInputs(o.Values, cache, request);
}

// ---- answer output --------------------------------------------------------------------------

QJsonObject StatusJson(std::uint16_t word, const std::string& caption,
                       const std::vector<StatusPanelText>& decoded)
{
    QJsonObject o;
    o["word"] = Latin1(StatusWordHex(word));
    o["caption"] = Latin1(caption);
    QJsonArray panels;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (!decoded[i].Matched)
            continue;
        QJsonObject p;
        p["panel"] = static_cast<int>(i + 1);
        p["text"] = Latin1(decoded[i].Text);
        p["color"] = Latin1(ColorToString(decoded[i].Color));
        panels.append(p);
    }
    o["panels"] = panels;
    return o;
}

void PrintStatus(const std::string& caption, const std::vector<StatusPanelText>& decoded)
{
    std::printf("%s\n", caption.c_str());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (decoded[i].Matched)
            std::printf("  panel %zu: %s [%s]\n", i + 1, Printable(decoded[i].Text).c_str(),
                        ColorToString(decoded[i].Color).c_str());
    }
}

// The printer's time for the (last) answer: from the command having left the port to the
// answer's first byte.
QJsonValue ResponseJson(const ExchangeResult& r)
{
    return r.ResponseMs ? QJsonValue(*r.ResponseMs) : QJsonValue();
}

void PrintResponseTime(const ExchangeResult& r)
{
    if (r.ResponseMs)
        std::printf("Response time: %d ms\n", *r.ResponseMs);
}

// The figures of a repeat run, as the window's summary line tells them.
QJsonObject RepeatJson(const RepeatTally& tally)
{
    QJsonObject o;
    o["requested"] = tally.Requested();
    o["sent"] = tally.Sent();
    o["answered"] = tally.AnsweredCount();
    o["errors"] = tally.Errors();
    if (const auto f = tally.Figures()) {
        QJsonObject ms;
        ms["min"] = f->MinMs;
        ms["median"] = f->MedianMs;
        ms["max"] = f->MaxMs;
        o["responseMs"] = ms;
    } else {
        o["responseMs"] = QJsonValue::Null;
    }
    QJsonArray runs;
    for (const auto& d : tally.Responses())
        runs.append(
            static_cast<qint64>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()));
    o["runResponseMs"] = runs;
    o["summary"] = QString::fromStdString(tally.SummaryText());
    return o;
}

void PrintHostAnswer(const Options& o, const ExchangeResult& a)
{
    const RepeatTally* tally = a.Tally ? &*a.Tally : nullptr;
    if (o.Json) {
        QJsonObject out;
        out["command"] = Latin1(a.Section);
        out["mode"] = QStringLiteral("host");
        out["runs"] = a.Requested;
        out["responseMs"] = ResponseJson(a);
        if (tally)
            out["repeat"] = RepeatJson(*tally);
        out["fiscalStatus"] =
            StatusJson(a.FiscalStatus, FiscalAnswerCaption(a.FiscalStatus), a.FiscalPanels);
        out["printerStatus"] =
            StatusJson(a.PrinterStatus, PrinterAnswerCaption(a.PrinterStatus), a.PrinterPanels);
        QJsonObject rc;
        rc["value"] = a.ReturnCode;
        rc["hex"] = Latin1(StatusWordHex(a.ReturnCode));
        rc["description"] = Latin1(a.ReturnCodeDescription);
        out["returnCode"] = rc;
        QJsonArray fields;
        for (const AnswerEntry& e : a.AnswerFields) {
            if (!e.Visible)
                continue;
            QJsonObject f;
            f["position"] = e.Position;
            f["label"] = Latin1(e.Label);
            f["value"] = Latin1(e.Value);
            f["named"] = e.Named;
            if (!e.Hint.empty())
                f["hint"] = Latin1(e.Hint);
            fields.append(f);
        }
        out["fields"] = fields;
        PrintJson(out);
        return;
    }

    if (tally)
        std::printf("%s\n", tally->SummaryText().c_str());
    if (a.Requested > 1)
        std::printf("Sent %d times; the last answer:\n", a.Requested);
    PrintStatus(FiscalAnswerCaption(a.FiscalStatus), a.FiscalPanels);
    PrintStatus(PrinterAnswerCaption(a.PrinterStatus), a.PrinterPanels);
    std::printf("Return code: %u %s\n", static_cast<unsigned>(a.ReturnCode),
                Printable(ReturnCodeHint(a.ReturnCode, a.ReturnCodeDescription)).c_str());
    PrintResponseTime(a);
    std::printf("Answer:\n");
    for (const AnswerEntry& e : a.AnswerFields) {
        if (e.Visible)
            std::printf("  %s: %s\n", Printable(e.Label).c_str(), Printable(e.Value).c_str());
    }
}

// Tells a failed exchange in the window's words: {"error", "lastError", "status"}.
// A repeat run that stops there also tells what it came to.
int ExchangeFailed(bool json, const ExchangeResult& r)
{
    const RepeatTally* tally = r.Tally ? &*r.Tally : nullptr;
    // A port that closes under the exchange gives the link no error of its own to name.
    const std::string message =
        r.FaultText.empty() ? std::string("the port closed during the exchange") : r.FaultText;
    const std::string lastError = r.LastError.empty() ? std::string("-") : r.LastError;
    const char* status = StateWordText(r.Word.value_or(StateWord::Error));
    if (json) {
        QJsonObject o;
        o["error"] = Latin1(message);
        o["lastError"] = Latin1(lastError);
        o["status"] = QString::fromLatin1(status);
        o["run"] = r.Run;
        if (tally)
            o["repeat"] = RepeatJson(*tally);
        PrintJson(o);
    } else if (tally) {
        std::printf("%s\n", tally->SummaryText().c_str());
    }
    std::fprintf(stderr, "tallyhost-cli: %s (%s, run %d)\n", message.c_str(), lastError.c_str(),
                 r.Run);
    return ExitExchangeError;
}

// The status records that decode a host answer. They are read before the command goes out:
// a broken record must refuse the command, not lose the answer of one the printer executed.
struct StatusTables
{
    TStatusTable Fiscal;
    TStatusTable Printer;
};

// ---- the exchanges --------------------------------------------------------------------------

ExchangeSettings EngineSettings(const Options& o, const FileSettings& fs)
{
    ExchangeSettings s;
    s.Protocol = fs.Protocol;
    s.InputDateFormat = fs.InputDateFormat;
    s.OutputDateFormat = fs.OutputDateFormat;
    s.ExtReservedFields = o.Reserved;
    return s;
}

// With --record, an exchange that reached the printer becomes a case of the script. A script
// that cannot take it is told on stderr; the exchange's own report and exit stay as they are.
void Record(const Options& o, const ExchangeRequest& request, const ExchangeResult& r)
{
    if (o.Record.empty() || r.NothingSent())
        return;
    TRecordedSend send;
    send.Group = *o.Group;
    send.Command = *o.Command;
    send.Request = &request;
    send.Repeat = o.Repeat.value_or(0);
    send.Result = &r;
    if (const std::string error = AppendRecordedCase(o.Record, o.File, send); !error.empty())
        std::fprintf(stderr, "tallyhost-cli: %s\n", error.c_str());
}

int SendHost(const Options& o, const FileSettings& fs, const TTerminalCache& cache,
             const ExchangeRequest& request, const StatusTables& tables)
{
    TFPHostControl link;
    std::string device = o.Device;
    if (device.empty())
        device = "COM" + std::to_string(o.Com.value_or(1));
    link.SetDevicePath(device);
    link.SetBaudRate(o.Baud);
    link.SetProtocolType(fs.Protocol == 1 ? protocol_Extended : protocol_Compatible);
    if (!link.OpenPort())
        return Refuse(o.Json, "cannot open the host port " + link.OpenedPath() + " (" +
                                  ErrorTypeName(link.LastError()) + "): " + link.OpenErrorText());

    TExchangeEngine engine;
    engine.SetLinks(&link, nullptr);
    engine.SetCatalogue(&cache);
    engine.SetStatusTables(tables.Fiscal, tables.Printer);
    engine.SetSettings(EngineSettings(o, fs));
    if (o.Repeat)
        engine.Repeat(request, *o.Repeat);
    else
        engine.Send(request);
    const ExchangeResult r = engine.WaitForFinished();
    Record(o, request, r);

    switch (r.Outcome) {
    case ExchangeOutcome::Answered:
    case ExchangeOutcome::Acknowledged:
        PrintHostAnswer(o, r);
        return ExitOk;
    case ExchangeOutcome::LinkRefused:
        if (r.Tally && !o.Json)
            std::printf("%s\n", r.Tally->SummaryText().c_str());
        return Refuse(o.Json, r.Refusal);
    case ExchangeOutcome::RefusedValue:
    case ExchangeOutcome::NothingToSend:
    case ExchangeOutcome::Cancelled:
        return Refuse(o.Json, r.Refusal);
    case ExchangeOutcome::RefusedNak:
    case ExchangeOutcome::NoAnswer:
    case ExchangeOutcome::WriteError:
    case ExchangeOutcome::PortClosed:
        break;
    }
    return ExchangeFailed(o.Json, r);
}

int SendFiscal(const Options& o, const FileSettings& fs, const ExchangeRequest& request)
{
    if (o.Repeat)
        return Refuse(o.Json, "--repeat is for host commands; this one goes to the fiscal port");
    // A value that cannot be sent is refused before the port is opened.
    std::vector<std::string> fields;
    if (const std::string refused = FrameFields(request, fs.InputDateFormat, 0, fields);
        !refused.empty())
        return Refuse(o.Json, refused);

    TFPAuxControl link;
    std::string device = o.FiscalDevice;
    if (device.empty())
        device = "COM" + std::to_string(o.Com.value_or(2));
    link.SetDevicePath(ResolveDeviceName(device));
    link.SetTimeOut(o.TimeOut);
    if (!link.OpenPort())
        return Refuse(o.Json, "cannot open the fiscal port " + device + " (" +
                                  FErrorTypeName(link.LastError()) + "): " + link.OpenErrorText());

    TExchangeEngine engine;
    engine.SetLinks(nullptr, &link);
    engine.SetSettings(EngineSettings(o, fs));
    if (!o.Json) {
        // Each answer frame is told as it arrives.
        QObject::connect(&engine, &TExchangeEngine::FiscalAnswer,
                         [](const QByteArray& data, bool isFinal) {
                             std::printf("%s %s\n", isFinal ? "final" : "more ",
                                         Printable(data.toStdString()).c_str());
                         });
    }
    engine.Send(request);
    const ExchangeResult r = engine.WaitForFinished();
    Record(o, request, r);
    if (r.Outcome == ExchangeOutcome::LinkRefused || r.Outcome == ExchangeOutcome::RefusedValue)
        return Refuse(o.Json, r.Refusal);
    if (!r.Succeeded())
        return ExchangeFailed(o.Json, r);
    const bool acknowledged = r.Outcome == ExchangeOutcome::Acknowledged;
    if (o.Json) {
        QJsonArray answers;
        for (const FiscalAnswerFrame& frame : r.FiscalFrames) {
            QJsonObject a;
            a["data"] = Latin1(frame.Data);
            a["final"] = frame.Final;
            answers.append(a);
        }
        QJsonObject out;
        out["mode"] = QStringLiteral("fiscal");
        out["sent"] = Latin1(r.FiscalText);
        out["ack"] = acknowledged;
        out["answers"] = answers;
        out["responseMs"] = ResponseJson(r);
        PrintJson(out);
        return ExitOk;
    }
    if (acknowledged)
        std::printf("ACK: the fiscal port is alive\n");
    PrintResponseTime(r);
    return ExitOk;
}

struct LoadedCommand
{
    std::string Section;
    TCommandDefinition Definition;
};

// Loads the definition of --group/--command; an error text when that fails.
std::string LoadCommand(const Options& o, const TTerminalCache& cache, ExchangeRequest& out)
{
    return LoadNamedCommand(o.File, cache, *o.Group, *o.Command, out);
}

std::unique_ptr<QCoreApplication> EnsureApplication()
{
    if (QCoreApplication::instance())
        return nullptr;
    static int qtArgc = 1;
    static char qtName[] = "tallyhost-cli";
    static char* qtArgv[] = {qtName, nullptr};
    return std::make_unique<QCoreApplication>(qtArgc, qtArgv);
}

// ---- show -----------------------------------------------------------------------------------

QJsonObject DefinitionJson(const TTerminalCache& cache, const LoadedCommand& c)
{
    const TCommandDefinition& def = c.Definition;
    QJsonObject out;
    out["section"] = Latin1(c.Section);
    out["mode"] = Latin1(ModeName(def.Mode));
    QJsonArray fields;
    for (int i = 0; i < std::clamp(def.FieldCount, 0, MaxFields); ++i) {
        const TCommandFieldDef& f = def.Fields[i];
        QJsonObject j;
        j["number"] = i + 1;
        j["caption"] = Latin1(f.Caption);
        j["hint"] = Latin1(f.Hint);
        j["textType"] = Latin1(TextTypeName(f.TextType));
        j["default"] = Latin1(f.DefaultText);
        j["controlType"] = Latin1(ControlTypeName(f.ControlType));
        j["maxLength"] = f.MaxLength;
        j["minLength"] = f.MinLength;
        j["decimals"] = f.DecimalDigits;
        j["required"] = f.Required;
        j["readOnly"] = f.ReadOnly;
        j["autoIncrement"] = f.AutoIncrement;
        QJsonArray items;
        for (const std::string& item : LoadComboItems(cache, c.Section, i + 1))
            items.append(Latin1(item));
        if (!items.isEmpty())
            j["items"] = items;
        fields.append(j);
    }
    out["fields"] = fields;
    QJsonArray answers;
    for (int i = 0; i < std::clamp(def.AnswerCount, 0, MaxFields); ++i) {
        QJsonObject j;
        j["number"] = i + 1;
        j["caption"] = Latin1(def.Answers[i].Caption);
        j["textType"] = Latin1(TextTypeName(def.Answers[i].TextType));
        j["decimals"] = def.Answers[i].DecimalDigits;
        answers.append(j);
    }
    out["answers"] = answers;
    QJsonArray notes;
    for (const std::string& line : LoadNotes(cache, c.Section))
        notes.append(Latin1(line));
    out["notes"] = notes;
    return out;
}

void PrintDefinition(const TTerminalCache& cache, const LoadedCommand& c)
{
    const TCommandDefinition& def = c.Definition;
    std::printf("[%s] mode %s\n", Printable(c.Section).c_str(), ModeName(def.Mode).c_str());
    std::printf("Fields:\n");
    for (int i = 0; i < std::clamp(def.FieldCount, 0, MaxFields); ++i) {
        const TCommandFieldDef& f = def.Fields[i];
        std::string flags;
        if (f.Required)
            flags += " required";
        if (f.ReadOnly)
            flags += " read-only";
        if (f.AutoIncrement)
            flags += " autoincrement";
        std::printf("  %2d %s: %s %s, default '%s', length %d..%d, decimals %d%s\n", i + 1,
                    Printable(CaptionWithoutAccelerator(f.Caption)).c_str(),
                    TextTypeName(f.TextType).c_str(), ControlTypeName(f.ControlType).c_str(),
                    Printable(f.DefaultText).c_str(), f.MinLength, f.MaxLength, f.DecimalDigits,
                    flags.c_str());
        const auto items = LoadComboItems(cache, c.Section, i + 1);
        for (const std::string& item : items)
            std::printf("       item '%s'\n", Printable(item).c_str());
    }
    std::printf("Answers:\n");
    for (int i = 0; i < std::clamp(def.AnswerCount, 0, MaxFields); ++i)
        std::printf("  %2d %s: %s, decimals %d\n", i + 1, Printable(def.Answers[i].Caption).c_str(),
                    TextTypeName(def.Answers[i].TextType).c_str(), def.Answers[i].DecimalDigits);
    const auto notes = LoadNotes(cache, c.Section);
    if (!notes.empty()) {
        std::printf("Notes:\n");
        for (const std::string& line : notes)
            std::printf("  %s\n", Printable(line).c_str());
    }
}

} // namespace

int RunSend(int argc, char** argv)
{
    Options o;
    if (argc > 1 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(SendUsage, stdout);
        return ExitOk;
    }
    if (const std::string error = ParseOptions(argc, argv, true, o); !error.empty()) {
        std::fputs(SendUsage, stderr);
        return Refuse(o.Json, error);
    }
    if (!std::filesystem::is_regular_file(o.File))
        return Refuse(o.Json, "no terminal file " + o.File);
    const auto app = EnsureApplication();

    TTerminalCache cache;
    if (!cache.LoadFromFile(o.File))
        return Refuse(o.Json, "cannot read " + o.File);
    ExchangeRequest request;
    if (const std::string error = LoadCommand(o, cache, request); !error.empty())
        return Refuse(o.Json, error);
    if (request.Definition.FieldCount <= 0)
        return Refuse(o.Json, "the command " + request.Section + " has no fields: nothing to send");

    const FileSettings fs = ReadFileSettings(o.File);
    if (const std::string error = CollectInputs(o, cache, request); !error.empty())
        return Refuse(o.Json, error);

    if (request.Definition.Mode == cmFiscal)
        return SendFiscal(o, fs, request);
    StatusTables tables;
    try {
        LoadStatusRecords(cache, SectionFiscalAnswer, tables.Fiscal);
        LoadStatusRecords(cache, SectionPrinterAnswer, tables.Printer);
    } catch (const Error& e) {
        return Refuse(o.Json, std::string("the status records are broken: ") + e.what());
    }
    return SendHost(o, fs, cache, request, tables);
}

int RunShow(int argc, char** argv)
{
    Options o;
    if (argc > 1 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(ShowUsage, stdout);
        return ExitOk;
    }
    if (const std::string error = ParseOptions(argc, argv, false, o); !error.empty()) {
        std::fputs(ShowUsage, stderr);
        return Refuse(o.Json, error);
    }
    if (!std::filesystem::is_regular_file(o.File))
        return Refuse(o.Json, "no terminal file " + o.File);
    TTerminalCache cache;
    if (!cache.LoadFromFile(o.File))
        return Refuse(o.Json, "cannot read " + o.File);

    if (o.Group) {
        ExchangeRequest request;
        if (const std::string error = LoadCommand(o, cache, request); !error.empty())
            return Refuse(o.Json, error);
        const LoadedCommand command{request.Section, request.Definition};
        if (o.Json)
            PrintJson(DefinitionJson(cache, command));
        else
            PrintDefinition(cache, command);
        return ExitOk;
    }

    const auto groups = ReadCommandTree(o.File);
    if (o.Json) {
        QJsonArray list;
        for (const TTreeGroup& g : groups) {
            QJsonArray commands;
            for (const std::string& c : g.Commands)
                commands.append(Latin1(c));
            QJsonObject j;
            j["group"] = Latin1(g.Name);
            j["commands"] = commands;
            list.append(j);
        }
        QJsonObject out;
        out["groups"] = list;
        PrintJson(out);
        return ExitOk;
    }
    for (const TTreeGroup& g : groups) {
        std::printf("%s\n", Printable(g.Name).c_str());
        for (const std::string& c : g.Commands) {
            TCommandDefinition def;
            std::string summary;
            try {
                LoadCommandFields(cache, CommandSectionName(g.Name, c), def);
                summary = ModeName(def.Mode) + ", " + std::to_string(def.FieldCount) + " fields";
            } catch (const Error& e) {
                summary = std::string("broken: ") + e.what();
            }
            std::printf("  %s (%s)\n", Printable(c).c_str(), Printable(summary).c_str());
        }
    }
    return ExitOk;
}
