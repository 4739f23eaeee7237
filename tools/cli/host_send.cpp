// tallyhost-cli host-send: one command on the host port, every link event printed as it
// happens, then the outcome.

#include "tools/cli/cliutil.h"
#include "tools/cli/commands.h"
#include "tools/cli/linksend.h"

#include "core/fieldconvert.h"
#include "links/fphostcontrol.h"
#include "links/hosttypes.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace tallyhost;

constexpr int ExitFinal = 0;
constexpr int ExitExchangeError = 1;
constexpr int ExitRefused = 2;

constexpr const char* Usage =
    "usage: tallyhost-cli host-send --device PATH [--baud 1200|2400|4800|9600|19200|38400]\n"
    "                              [--protocol compatible|extended] [--json] [--] FIELD...\n"
    "\n"
    "Sends one command frame made of the FIELDs on the host port and waits for the printer's\n"
    "final answer. A field may hold raw bytes as hex escapes: x'1B41'. PATH is a device path\n"
    "or COM1..COM4. Prints each frame written and read in hexadecimal, then the answer.\n"
    "--json prints one JSON object instead. Exit status: 0 final answer, 1 exchange error\n"
    "(time-out, NAK, write error), 2 refused field, command or port.\n";

struct HostOptions
{
    TBaudRate Baud = br9600;
    TProtocolType Protocol = protocol_Compatible;
};

std::string TakeBaud(const std::string& value, HostOptions& host)
{
    int baud = 0;
    try {
        std::size_t used = 0;
        baud = std::stoi(value, &used);
        if (used != value.size())
            baud = 0;
    } catch (const std::exception&) {
    }
    if (!BaudRateFromValue(baud, host.Baud))
        return "unsupported speed '" + value + "'";
    return {};
}

std::string TakeProtocol(const std::string& value, HostOptions& host)
{
    if (value == "compatible")
        host.Protocol = protocol_Compatible;
    else if (value == "extended")
        host.Protocol = protocol_Extended;
    else
        return "unknown protocol '" + value + "'";
    return {};
}

} // namespace

int RunHostSend(int argc, char** argv)
{
    cli::LinkSendOptions options;
    HostOptions host;
    const cli::LinkCommandLine line{
        "host-send",
        Usage,
        {{"--baud", [&](const std::string& v) { return TakeBaud(v, host); }, false},
         {"--protocol", [&](const std::string& v) { return TakeProtocol(v, host); }, false}}};
    if (const int status = cli::ParseLinkSendOptions(argc, argv, line, options); status >= 0)
        return status;

    // Hex escapes first: a malformed field refuses the command before the port is touched.
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < options.Operands.size(); ++i) {
        std::optional<std::string> expanded = ExpandEscapes(options.Operands[i]);
        if (!expanded) {
            std::fprintf(stderr, "tallyhost-cli host-send: field %zu: bad hex escape in '%s'\n",
                         i + 1, options.Operands[i].c_str());
            return ExitRefused;
        }
        fields.push_back(std::move(*expanded));
    }

    // The link raises its events from the event loop of the thread that owns it.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication app(qtArgc, qtArgv);

    TFPHostControl link;
    link.SetDevicePath(options.Device);
    link.SetBaudRate(host.Baud);
    link.SetProtocolType(host.Protocol);

    cli::LinkTrace trace(options.Json, 12);
    auto note = [&](const char* name, const std::string& frame = {}) { trace.Note(name, frame); };
    QEventLoop loop;
    bool final = false;
    QObject::connect(&link, &TFPHostControl::OnWrite,
                     [&](auto*, const QByteArray& v) { note("write", v.toStdString()); });
    QObject::connect(&link, &TFPHostControl::OnRead,
                     [&](auto*, const QByteArray& v) { note("read", v.toStdString()); });
    QObject::connect(&link, &TFPHostControl::OnAck, [&](auto*) { note("ack"); });
    QObject::connect(&link, &TFPHostControl::OnNack, [&](auto*) { note("nack"); });
    QObject::connect(&link, &TFPHostControl::OnIntermediateAnswer,
                     [&](auto*) { note("intermediate"); });
    QObject::connect(&link, &TFPHostControl::OnFinalAnswer, [&](auto*) {
        final = true;
        loop.quit();
    });
    QObject::connect(&link, &TFPHostControl::OnError, [&](auto*) {
        note("error");
        loop.quit();
    });

    auto refuse = [&](const char* what) {
        std::fprintf(stderr, "tallyhost-cli host-send: %s: %s\n", what,
                     ErrorTypeName(link.LastError()));
        return ExitRefused;
    };
    if (!link.OpenPort()) {
        std::fprintf(stderr, "tallyhost-cli host-send: cannot open %s: %s (%s)\n",
                     link.OpenedPath().c_str(), ErrorTypeName(link.LastError()),
                     link.OpenErrorText().c_str());
        return ExitRefused;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!link.AddDataField(fields[i])) {
            const std::string what = "field " + std::to_string(i + 1) + " refused";
            return refuse(what.c_str());
        }
    }
    if (!link.SendCommand())
        return refuse("command refused");
    // The exchange always ends: a final answer, or an error after at most 2.5 s of silence.
    loop.exec();

    const TErrorType error = final ? EFP_Success : link.LastError();
    const auto printer = static_cast<std::uint16_t>(link.PrinterStatus());
    const auto fiscal = static_cast<std::uint16_t>(link.FiscalStatus());
    const auto returnCode = static_cast<std::uint16_t>(link.ReturnCode());
    std::vector<std::string> extra;
    if (final) {
        for (std::int32_t i = 1; i <= link.ExtraFieldsCount(); ++i)
            extra.push_back(link.GetExtraField(i));
    }
    link.ClosePort();

    if (options.Json) {
        std::string json = "{\"result\": ";
        json += final ? "\"final\"" : "\"error\"";
        json += ", \"error\": " + cli::JsonString(ErrorTypeName(error));
        json += ", \"printer_status\": " + std::to_string(printer);
        json += ", \"fiscal_status\": " + std::to_string(fiscal);
        json += ", \"return_code\": " + std::to_string(returnCode);
        json += ", \"fields\": [";
        for (std::size_t i = 0; i < extra.size(); ++i)
            json += (i ? ", " : "") + cli::JsonString(extra[i]);
        json += "], \"events\": " + trace.EventsJson() + "}\n";
        std::fputs(json.c_str(), stdout);
    } else if (final) {
        std::printf("final answer: printer status %04X, fiscal status %04X, return code %04X, "
                    "%zu extra field(s)\n",
                    printer, fiscal, returnCode, extra.size());
        for (std::size_t i = 0; i < extra.size(); ++i)
            std::printf("  %zu: %s\n", i + 1, cli::Printable(extra[i]).c_str());
    } else {
        std::printf("exchange failed: %s\n", ErrorTypeName(error));
    }
    return final ? ExitFinal : ExitExchangeError;
}
