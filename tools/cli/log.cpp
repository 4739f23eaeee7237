// tallyhost-cli log: a log file the program wrote (or a log view saved as text), every frame
// decoded as the log window's decode pane decodes it, headless: a support engineer reads a
// customer's log without the program.

#include "core/logrecord.h"
#include "session/framedecode.h"
#include "tools/cli/cliutil.h"
#include "tools/cli/commands.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

using namespace tallyhost;
using namespace tallyhost::cli;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitUnreadable = 2;

constexpr const char* LogUsage =
    "usage: tallyhost-cli log FILE.log [--file CATALOGUE.thf] [--json]\n"
    "\n"
    "Prints a log file a line at a time, each frame followed by its decoding: the fields as\n"
    "text, the checksum judged, and with a catalogue the command it is, the status words with\n"
    "their lit records, the return code and the answer fields by caption. A line that is no\n"
    "line the program writes is printed as it stands, marked '(unread)'.\n"
    "\n"
    "  --file F   the terminal file whose commands, status records and return codes name the\n"
    "             frames\n"
    "  --json     one JSON object a line: {\"line\":N,\"text\":...,\"kind\":\"frame\",\n"
    "             \"port\":\"host\",\"direction\":\"sent\",\"decoded\":[{\"name\":...,\n"
    "             \"value\":...,\"hex\":...,\"depth\":0,\"bad\":false}]}\n"
    "\n"
    "exit status: 0 printed, 2 the log or the catalogue cannot be read (or bad arguments)\n";

const char* KindName(LogKind kind)
{
    switch (kind) {
    case LogKind::Port:
        return "port";
    case LogKind::PortNote:
        return "port-note";
    case LogKind::Frame:
        return "frame";
    case LogKind::Ack:
        return "ack";
    case LogKind::SetAside:
        return "set-aside";
    case LogKind::Note:
        return "note";
    case LogKind::Unread:
        return "unread";
    }
    return "note";
}

const char* PortName(LogPort port)
{
    return port == LogPort::Host ? "host" : port == LogPort::Fiscal ? "fiscal" : "";
}

const char* DirectionName(LogDirection direction)
{
    return direction == LogDirection::Sent       ? "sent"
           : direction == LogDirection::Received ? "received"
                                                 : "";
}

} // namespace

int RunLog(int argc, char** argv)
{
    bool json = false;
    bool operandsOnly = false;
    std::string catalogue;
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        bool missing = false;
        if (!operandsOnly && TakeOption(argc, argv, i, "--file", catalogue, missing)) {
            if (missing) {
                std::fputs(LogUsage, stderr);
                return ExitUnreadable;
            }
            continue;
        }
        switch (ClassifyArgument(argv[i], operandsOnly)) {
        case ArgumentKind::Help:
            std::fputs(LogUsage, stdout);
            return ExitOk;
        case ArgumentKind::Json:
            json = true;
            break;
        case ArgumentKind::Operand:
            operands.emplace_back(argv[i]);
            break;
        case ArgumentKind::EndOfOptions:
            break;
        case ArgumentKind::Option:
            std::fprintf(stderr, "tallyhost-cli log: unknown option '%s'\n\n", argv[i]);
            std::fputs(LogUsage, stderr);
            return ExitUnreadable;
        }
    }
    if (operands.size() != 1) {
        std::fputs(LogUsage, stderr);
        return ExitUnreadable;
    }
    std::ifstream in(operands.front(), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tallyhost-cli log: cannot read %s\n",
                     Readable(operands.front()).c_str());
        return ExitUnreadable;
    }
    // A directory opens as a stream on Linux, and a failing read (a directory, a pulled USB
    // stick) throws from the stream buffer whatever the stream's exception mask says.
    std::string text;
    bool readable = true;
    try {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        readable = false;
    }
    if (!readable || in.bad()) {
        std::fprintf(stderr, "tallyhost-cli log: cannot read %s\n",
                     Readable(operands.front()).c_str());
        return ExitUnreadable;
    }
    const TLogDecoder decoder(catalogue);
    if (!catalogue.empty() && !decoder.HasCatalogue()) {
        std::fprintf(stderr, "tallyhost-cli log: cannot read %s\n", Readable(catalogue).c_str());
        return ExitUnreadable;
    }

    LogStore lines;
    ReadLogText(text, lines, {});
    std::string out;
    std::string shown;
    for (std::size_t i = 0; i < lines.Size(); ++i) {
        const LogRecord& record = lines.At(i);
        shown.clear();
        // The line as the file has it: a saved view's time and response time are read into the
        // record, so they are drawn again (its text column says nothing the hex does not).
        // The time read back is the time of day as shown, so no offset is added.
        const LogColumns columns{record.HandledAtMs != std::numeric_limits<std::int64_t>::min(),
                                 false, true};
        AppendShownLine(record, lines.Payload(i), columns, 0, shown);
        const std::vector<DecodedLine> decoded = DecodeStoredLine(decoder, lines, i);
        out.clear();
        if (json) {
            out += "{\"line\":" + std::to_string(i + 1);
            out += ",\"text\":" + JsonString(shown);
            out += ",\"kind\":" + JsonString(KindName(record.Kind));
            out += ",\"port\":" + JsonString(PortName(record.Port));
            out += ",\"direction\":" + JsonString(DirectionName(record.Direction));
            out += ",\"decoded\":[";
            for (std::size_t k = 0; k < decoded.size(); ++k) {
                const DecodedLine& d = decoded[k];
                out += k ? ",{" : "{";
                out += "\"name\":" + JsonString(d.Name);
                out += ",\"value\":" + JsonString(d.Value);
                out += ",\"hex\":" + JsonString(d.Hex);
                out += ",\"depth\":" + std::to_string(d.Depth);
                out += d.Bad ? ",\"bad\":true}" : ",\"bad\":false}";
            }
            out += "]}\n";
        } else {
            // The line as the file has it, then its decoding on the same line.
            out += Readable(shown);
            if (record.Kind == LogKind::Unread)
                out += "  (unread)";
            if (!decoded.empty()) {
                out += "  =>";
                bool first = true;
                for (const DecodedLine& d : decoded) {
                    // The framing bytes say nothing the hex does not.
                    if (d.Name == "STX" || d.Name == "ETX")
                        continue;
                    out += first ? " " : "; ";
                    first = false;
                    out += Readable(d.Name);
                    if (!d.Value.empty())
                        out += ": " + Readable(d.Value);
                }
            }
            out += '\n';
        }
        std::fputs(out.c_str(), stdout);
    }
    return ExitOk;
}
