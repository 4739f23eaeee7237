#pragma once

#include <string>
#include <string_view>

namespace tallyhost {

// Text of the traffic log: the lines the log window shows and the lines it appends to the
// log file beside the terminal file. Everything here is pure so that the exact bytes of the
// file can be checked without a window; the window only adds colours and time stamps.

// Every log line starts with one of these, each exactly nine characters wide so that the
// frame texts line up in the view and in the file.
inline constexpr std::string_view kHostPrefix = "HOST --> ";
inline constexpr std::string_view kPrinterPrefix = "FP   --> ";
inline constexpr std::string_view kFiscalPrefix = "FISCAL-> ";
// What the links set aside instead of taking it into an exchange, one prefix per kind.
inline constexpr std::string_view kBadFramePrefix = "BAD SUM> ";
inline constexpr std::string_view kStalePrefix = "STALE -> ";
inline constexpr std::string_view kNoisePrefix = "NOISE -> ";
inline constexpr std::string_view kKeepAlivePrefix = "KEEP  -> ";
inline constexpr std::string_view kLatePrefix = "LATE  -> ";

// Line ending of the log file, whatever the platform: the files are read on both.
inline constexpr std::string_view kLogLineEnd = "\r\n";

// Which of the three configured colours a view line takes.
enum class LogColorRole
{
    Host,
    Printer,
    Fiscal,
    BadFrame,
    Stale,
    Noise,
    KeepAlive,
    Late
};

// Bytes a link set aside, by kind (the same numbers as the links' wire kinds).
enum class WireEvent
{
    BadChecksum = 1, // a frame refused for its checksum
    StaleFrame = 2,  // a frame of another command, acknowledged and ignored
    Noise = 3,       // bytes that belong to no frame
    KeepAlive = 4,   // DC2 or an intermediate frame
    Late = 5,        // bytes that came while no command was in progress
};

// The log notifications that produce a line (the settings reload produces none).
enum class LogEvent
{
    HostOpen,
    HostClose,
    HostWrite,
    HostRead,
    Ack,
    Nack,
    Intermediate,
    AuxOpen,
    AuxClose,
    AuxWrite,
    AuxRead,
    // The state of a port in words (lost, and why): the line text travels as the frame.
    HostPortNote,
    AuxPortNote,
};

// What a line needs besides its event: the port and speed of the "Open COM" lines and the
// frame bytes of the write and read lines. Unused members are ignored.
struct LogLineSource
{
    int hostCommPort = 0; // 0 = COM1
    int hostBaudRate = 0; // speed index 0..5
    int auxCommPort = 0;  // 0 = COM1
    std::string_view frame;
};

// One handled notification: the line for the view (when shown) and the bytes appended to
// the log file (always, with its CR LF).
struct LogLine
{
    bool inView = true;
    LogColorRole color = LogColorRole::Host;
    std::string prefix;
    std::string content;
    std::string fileLine;
};

// The frame as upper-case hexadecimal byte pairs, each followed by one blank:
// bytes 02 41 03 give "02 41 03 ". Any byte value, NUL included, is rendered.
std::string FrameHexText(std::string_view frame);
// The same, appended to `out` (the log view draws a million lines through one buffer).
void AppendFrameHexText(std::string_view frame, std::string& out);
// The same pairs separated by one blank, none after the last: "02 41 03". The command line's
// reports show bytes this way.
std::string HexText(std::string_view bytes);

// The speed text of a host speed index: 3 gives " 9600"; an index outside 0..5 gives "".
std::string_view BaudRateText(int baudRate);

// "Open COM<port+1><speed>,N,8,1" for the host port, and the same at 9600 for the fiscal
// port, which always runs at that speed.
std::string HostOpenText(int commPort, int baudRate);
std::string AuxOpenText(int commPort);

// The status bar's port descriptions: "COM<port+1>" and the mode " 9600,N,8,1" of the speed
// index (nothing for an index outside 0..5); the fiscal port, always at 9600 bit/s, shows
// "Disabled" unless the operator enabled it and it is open.
std::string HostPortPanelText(int commPort, int baudRate);
std::string FiscalPortPanelText(bool enabled, bool open, int commPort);

// The line a notification produces. Acknowledgements, negative acknowledgements and
// intermediate answers reach the view only with the low-level flag, but the file always.
LogLine FormatLogLine(LogEvent event, const LogLineSource& source, bool lowLevel);

// The line of bytes a link set aside: "<link>, <n> byte(s): <hex>", with the link named
// "host" or "fiscal". Always shown in the view; written to the file only with `logEveryByte`
// (otherwise fileLine is empty), so the default file keeps the lines it always had. False
// from `known` when `kind` is no wire event (nothing to show then).
LogLine FormatWireLine(int kind, bool fiscalLink, std::string_view bytes, bool logEveryByte,
                       bool* known = nullptr);

// The content of a line of set-aside bytes, "<link>, <n> byte(s): <hex>", appended to `out`.
void AppendWireContent(bool fiscalLink, std::string_view bytes, std::string& out);

// The bytes as text for the log view: printable ASCII as it is, a dot for every other byte.
std::string BytesAsText(std::string_view bytes);

// The log file of a terminal file: same directory and name, extension replaced by ".log"
// (or ".log" appended when the name has no extension).
std::string LogFileNameFor(std::string_view terminalFileName);

// The two header lines of a new log file: the organisation line and the executable's name.
std::string LogFileHeader(std::string_view executableName);

// What every opening of the log file appends: an empty line and the time stamp line.
std::string LogTimeStampBlock(std::string_view dateTimeText);

} // namespace tallyhost
