#include "core/logformat.h"

#include "core/version.h"

#include <array>

namespace tallyhost {

namespace {

constexpr std::array<std::string_view, 6> kBaudTexts = {" 1200", " 2400",  " 4800",
                                                        " 9600", " 19200", " 38400"};

std::string ComText(int commPort)
{
    return "Open COM" + std::to_string(commPort + 1);
}

LogLine Line(LogColorRole color, std::string_view prefix, std::string content,
             bool filePrefix = true)
{
    LogLine line;
    line.color = color;
    line.prefix = std::string(prefix);
    line.fileLine.reserve(prefix.size() + content.size() + kLogLineEnd.size());
    if (filePrefix)
        line.fileLine += prefix;
    line.fileLine += content;
    line.fileLine += kLogLineEnd;
    line.content = std::move(content);
    return line;
}

std::string hexPairs(std::string_view bytes, bool blankAfterLast)
{
    std::string text;
    AppendFrameHexText(bytes, text);
    if (!blankAfterLast && !text.empty())
        text.pop_back();
    return text;
}

} // namespace

void AppendFrameHexText(std::string_view frame, std::string& out)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::size_t start = out.size();
    out.resize(start + frame.size() * 3);
    char* p = out.data() + start;
    for (const char c : frame) {
        const auto byte = static_cast<unsigned char>(c);
        *p++ = kDigits[byte >> 4];
        *p++ = kDigits[byte & 0x0F];
        *p++ = ' ';
    }
}

std::string FrameHexText(std::string_view frame)
{
    return hexPairs(frame, true);
}

std::string HexText(std::string_view bytes)
{
    return hexPairs(bytes, false);
}

std::string_view BaudRateText(int baudRate)
{
    if (baudRate < 0 || baudRate >= static_cast<int>(kBaudTexts.size()))
        return {};
    return kBaudTexts[static_cast<std::size_t>(baudRate)];
}

std::string HostOpenText(int commPort, int baudRate)
{
    return ComText(commPort) + std::string(BaudRateText(baudRate)) + ",N,8,1";
}

std::string AuxOpenText(int commPort)
{
    return ComText(commPort) + " 9600,N,8,1";
}

std::string HostPortPanelText(int commPort, int baudRate)
{
    std::string text = "COM" + std::to_string(commPort + 1);
    if (!BaudRateText(baudRate).empty()) {
        text += BaudRateText(baudRate);
        text += ",N,8,1";
    }
    return text;
}

std::string FiscalPortPanelText(bool enabled, bool open, int commPort)
{
    if (!enabled || !open)
        return "Disabled";
    return "COM" + std::to_string(commPort + 1) + " 9600,N,8,1";
}

LogLine FormatLogLine(LogEvent event, const LogLineSource& source, bool lowLevel)
{
    switch (event) {
    case LogEvent::HostOpen:
        // Port changes are written to the file without the prefix: they stand out between
        // the frames when the file is read as plain text.
        return Line(LogColorRole::Host, kHostPrefix,
                    HostOpenText(source.hostCommPort, source.hostBaudRate), false);
    case LogEvent::HostClose:
        return Line(LogColorRole::Host, kHostPrefix, "Close port", false);
    case LogEvent::HostWrite:
        return Line(LogColorRole::Host, kHostPrefix, FrameHexText(source.frame));
    case LogEvent::HostRead:
    case LogEvent::AuxRead:
        return Line(LogColorRole::Printer, kPrinterPrefix, FrameHexText(source.frame));
    case LogEvent::Ack:
    case LogEvent::Nack:
    case LogEvent::Intermediate: {
        const char* text = event == LogEvent::Ack    ? "ACK"
                           : event == LogEvent::Nack ? "NACK"
                                                     : "INTERMEDIATE ANSWER";
        LogLine line = Line(LogColorRole::Printer, kPrinterPrefix, text);
        line.inView = lowLevel;
        return line;
    }
    case LogEvent::AuxOpen:
        return Line(LogColorRole::Fiscal, kFiscalPrefix, AuxOpenText(source.auxCommPort), false);
    case LogEvent::AuxClose:
        return Line(LogColorRole::Fiscal, kFiscalPrefix, "Close port", false);
    case LogEvent::AuxWrite:
        return Line(LogColorRole::Fiscal, kFiscalPrefix, FrameHexText(source.frame));
    case LogEvent::HostPortNote:
        return Line(LogColorRole::Host, kHostPrefix, std::string(source.frame), false);
    case LogEvent::AuxPortNote:
        return Line(LogColorRole::Fiscal, kFiscalPrefix, std::string(source.frame), false);
    }
    return {};
}

LogLine FormatWireLine(int kind, bool fiscalLink, std::string_view bytes, bool logEveryByte,
                       bool* known)
{
    LogColorRole role = LogColorRole::Noise;
    std::string_view prefix;
    switch (static_cast<WireEvent>(kind)) {
    case WireEvent::BadChecksum:
        role = LogColorRole::BadFrame;
        prefix = kBadFramePrefix;
        break;
    case WireEvent::StaleFrame:
        role = LogColorRole::Stale;
        prefix = kStalePrefix;
        break;
    case WireEvent::Noise:
        role = LogColorRole::Noise;
        prefix = kNoisePrefix;
        break;
    case WireEvent::KeepAlive:
        role = LogColorRole::KeepAlive;
        prefix = kKeepAlivePrefix;
        break;
    case WireEvent::Late:
        role = LogColorRole::Late;
        prefix = kLatePrefix;
        break;
    default:
        if (known)
            *known = false;
        return {};
    }
    if (known)
        *known = true;
    std::string content;
    AppendWireContent(fiscalLink, bytes, content);
    LogLine line = Line(role, prefix, std::move(content));
    if (!logEveryByte)
        line.fileLine.clear();
    return line;
}

void AppendWireContent(bool fiscalLink, std::string_view bytes, std::string& out)
{
    out += fiscalLink ? "fiscal, " : "host, ";
    out += std::to_string(bytes.size());
    out += bytes.size() == 1 ? " byte: " : " bytes: ";
    AppendFrameHexText(bytes, out);
}

std::string BytesAsText(std::string_view bytes)
{
    std::string text(bytes);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E)
            c = '.';
    }
    return text;
}

std::string LogFileNameFor(std::string_view terminalFileName)
{
    const std::size_t slash = terminalFileName.find_last_of('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t dot = terminalFileName.find_last_of('.');
    if (dot == std::string_view::npos || dot < nameStart)
        dot = terminalFileName.size();
    return std::string(terminalFileName.substr(0, dot)) + ".log";
}

std::string LogFileHeader(std::string_view executableName)
{
    std::string header = VersionString("CompanyName");
    header += kLogLineEnd;
    header += executableName;
    header += kLogLineEnd;
    return header;
}

std::string LogTimeStampBlock(std::string_view dateTimeText)
{
    std::string block(kLogLineEnd);
    block += dateTimeText;
    block += kLogLineEnd;
    return block;
}

} // namespace tallyhost
