// tallyhost-cli aux-send: one command on the auxiliary (fiscal, DGI) port, every link event
// printed as it happens, every answer frame marked final or not.

#include "tools/cli/cliutil.h"
#include "tools/cli/commands.h"
#include "tools/cli/linksend.h"

#include "core/fieldconvert.h"
#include "links/auxframe.h"
#include "links/fpauxcontrol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace tallyhost;

constexpr int ExitAnswered = 0;
constexpr int ExitExchangeError = 1;
constexpr int ExitRefused = 2;

// The program's own default for the fiscal port's time-out.
constexpr std::int32_t DefaultTimeOutMs = 1000;

constexpr const char* Usage =
    "usage: tallyhost-cli aux-send --device PATH [--timeout MS] [--json] [--] TEXT\n"
    "\n"
    "Sends TEXT as one frame on the fiscal (DGI) port and waits for the printer's ACK or its\n"
    "final answer frame. TEXT may hold raw bytes as hex escapes: x'1B41'; a TEXT of the one\n"
    "byte x'05' (ENQ) is sent alone. PATH is a device path or COM1..COM4. MS is the answer\n"
    "time-out per read in milliseconds (default 1000; 0 waits without limit). Prints each\n"
    "frame written and read in hexadecimal and each answer as it arrives, marked \"more\" or\n"
    "\"final\". --json prints one JSON object instead. Exit status: 0 ACK or final answer,\n"
    "1 exchange error (time-out, NAK, write error), 2 refused text or port.\n";

std::string TakeTimeOut(const std::string& value, std::int32_t& timeOut)
{
    std::int32_t ms = -1;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), ms);
    if (error != std::errc() || end != value.data() + value.size() || ms < 0)
        return "--timeout takes milliseconds, 0 for no limit: '" + value + "'";
    timeOut = ms;
    return {};
}

// The JSON object printed with --json.
struct Report
{
    const char* Result = "error"; // "ack", "final" or "error"
    TFErrorType Error = FEFP_Success;
    std::vector<std::pair<bool, std::string>> Answers; // final?, data
    const cli::LinkTrace* Trace = nullptr;

    std::string Json() const
    {
        std::string json = std::string("{\"result\": \"") + Result + "\"";
        json += ", \"error\": " + cli::JsonString(FErrorTypeName(Error));
        json += ", \"answers\": [";
        for (std::size_t i = 0; i < Answers.size(); ++i) {
            json += i ? ", " : "";
            json += std::string("{\"final\": ") + (Answers[i].first ? "true" : "false");
            json += ", \"data\": " + cli::JsonString(Answers[i].second) + "}";
        }
        return json + "], \"events\": " + (Trace ? Trace->EventsJson() : "[]") + "}\n";
    }
};

} // namespace

int RunAuxSend(int argc, char** argv)
{
    cli::LinkSendOptions options;
    std::int32_t timeOut = DefaultTimeOutMs;
    const cli::LinkCommandLine line{
        "aux-send",
        Usage,
        {{"--timeout", [&](const std::string& v) { return TakeTimeOut(v, timeOut); }}},
        1,
        "only one TEXT may be given (quote it)"};
    if (const int status = cli::ParseLinkSendOptions(argc, argv, line, options); status >= 0)
        return status;
    if (options.Operands.empty()) {
        std::fprintf(stderr, "tallyhost-cli aux-send: TEXT is required\n%s", Usage);
        return ExitRefused;
    }
    const std::string text = options.Operands.front();
    cli::LinkTrace trace(options.Json, 6);

    Report report;
    report.Trace = &trace;
    auto refuse = [&](TFErrorType error, const std::string& why) {
        std::fprintf(stderr, "tallyhost-cli aux-send: %s\n", why.c_str());
        if (options.Json) {
            report.Error = error;
            std::fputs(report.Json().c_str(), stdout);
        }
        return ExitRefused;
    };

    // Hex escapes first: a malformed TEXT is refused before the port is touched.
    const std::optional<std::string> data = ExpandEscapes(text);
    if (!data)
        return refuse(FEFP_E_InvalidDataInField, "bad hex escape in '" + text + "'");

    // The link raises its events from the event loop of the thread that owns it.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication app(qtArgc, qtArgv);

    TFPAuxControl link;
    link.SetDevicePath(options.Device);
    link.SetTimeOut(timeOut);

    auto note = [&](const char* name, const std::string& bytes = {}) { trace.Note(name, bytes); };
    QEventLoop loop;
    // The link reports the ACK it writes after an answer frame only after that frame's
    // OnAnswer: after the final one, the run waits for that ACK so that the trace holds every
    // byte written. A failed write is not reported at all, hence the limit (the link's own
    // write time-out for one byte is 1510 ms).
    bool finalAnswered = false;
    constexpr int FinalAckWaitMs = 2000;
    QObject::connect(&link, &TFPAuxControl::OnWrite, [&](auto*, const QByteArray& v) {
        note("write", v.toStdString());
        if (finalAnswered)
            loop.quit();
    });
    QObject::connect(&link, &TFPAuxControl::OnRead,
                     [&](auto*, const QByteArray& v) { note("read", v.toStdString()); });
    QObject::connect(&link, &TFPAuxControl::OnNack, [&](auto*) { note("nack"); });
    QObject::connect(&link, &TFPAuxControl::OnAck, [&](auto*) {
        note("ack");
        report.Result = "ack";
        loop.quit();
    });
    QObject::connect(&link, &TFPAuxControl::OnAnswer, [&](TFPAuxControl* sender, bool isFinal) {
        report.Answers.emplace_back(isFinal, sender->Answer());
        if (!options.Json) {
            std::printf("%-6s %s\n", isFinal ? "final" : "more",
                        cli::Printable(sender->Answer()).c_str());
            std::fflush(stdout);
        }
        if (isFinal) {
            report.Result = "final";
            finalAnswered = true;
            QTimer::singleShot(FinalAckWaitMs, &loop, &QEventLoop::quit);
        }
    });
    QObject::connect(&link, &TFPAuxControl::OnError, [&](auto*) {
        note("error");
        report.Result = "error";
        loop.quit();
    });

    if (!link.OpenPort()) {
        return refuse(link.LastError(), "cannot open " + options.Device + ": " +
                                            FErrorTypeName(link.LastError()) + " (" +
                                            link.OpenErrorText() + ")");
    }
    if (!link.SendData(*data)) {
        const TFErrorType error = link.LastError();
        link.ClosePort();
        return refuse(error, std::string("text refused: ") + FErrorTypeName(error));
    }
    // With a time-out of 0 only the printer ends the wait (or the operator, with Ctrl+C).
    loop.exec();

    const bool answered = report.Result != std::string_view("error");
    report.Error = link.LastError();
    link.ClosePort();
    if (options.Json)
        std::fputs(report.Json().c_str(), stdout);
    else if (!answered)
        std::printf("exchange failed: %s\n", FErrorTypeName(report.Error));
    return answered ? ExitAnswered : ExitExchangeError;
}
