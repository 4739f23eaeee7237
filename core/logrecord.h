#pragma once

#include "core/logformat.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tallyhost {

// The log as records: each line of the log view is kept as the event it was (its prefix,
// port, direction and kind, its bytes or its text, when it was handled, its colour and the
// answer's response time) and turned into text only when it is drawn, searched, filtered,
// copied or saved. A million lines then cost the bytes they carried and a few dozen bytes
// more, not a laid-out paragraph each.

// Which of the log's prefixes a line carries; None for the program's own lines (notes).
enum class LogPrefix : std::uint8_t
{
    Host,
    Printer,
    Fiscal,
    BadFrame,
    Stale,
    Noise,
    KeepAlive,
    Late,
    None,
};
std::string_view LogPrefixText(LogPrefix prefix);
// The prefix of each colour role: the two correspond one to one.
LogPrefix PrefixOfRole(LogColorRole role);

enum class LogPort : std::uint8_t
{
    None, // no port (the program's own lines); as a filter: any port
    Host,
    Fiscal,
};

enum class LogDirection : std::uint8_t
{
    None, // neither (port changes, notes); as a filter: any direction
    Sent,
    Received,
};

enum class LogKind : std::uint8_t
{
    Port,     // a port opened or closed
    PortNote, // the state of a port in words (lost, another device in its place)
    Frame,    // a frame written or read
    Ack,      // ACK, NAK, the printer's "still working", and the host's one-byte replies
    SetAside, // bytes a link set aside (refused, stale, noise, keep-alive, late)
    Note,     // the program's own line
    Unread,   // a line of a log file that is no line the program writes
};

// How the line's content is made from the record's payload.
enum class LogContent : std::uint8_t
{
    Text, // the payload is the content as it stands
    Hex,  // the payload is a frame, shown as hexadecimal pairs
    Wire, // the payload is set-aside bytes: "<link>, <n> byte(s): <hex>"
};

struct LogRecord
{
    std::int64_t HandledAtMs = 0; // milliseconds since the epoch, UTC
    std::uint32_t Color = 0;      // 0xAARRGGBB as the view draws it
    std::int32_t ResponseMs = -1; // the answer's response time, -1 without one
    LogPrefix Prefix = LogPrefix::None;
    LogContent Content = LogContent::Text;
    LogPort Port = LogPort::None;
    LogDirection Direction = LogDirection::None;
    LogKind Kind = LogKind::Note;
    bool HasBytes = false; // the bytes-as-text column applies
    // Where the store keeps the payload (set by LogStore::Append).
    std::uint32_t Chunk = 0;
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
};

// The columns the view adds to a line.
struct LogColumns
{
    bool Time = false;     // "hh:mm:ss.zzz " (local time) in front
    bool Text = false;     // "| " and the bytes as text behind a line with bytes
    bool Response = false; // " [<n> ms]" behind an answer with a response time
};

// Characters of the time column: "hh:mm:ss.zzz" and a blank.
inline constexpr int kLogTimeColumnWidth = 13;

// Records in order, with their payloads packed into large chunks (one allocation per many
// lines, freed as the oldest lines leave). Every record has a sequence number that stays
// with it while older ones leave: the record at index i has FirstSequence() + i.
class LogStore
{
public:
    LogStore();
    ~LogStore();
    LogStore(LogStore&&) noexcept;
    LogStore& operator=(LogStore&&) noexcept;

    void Append(LogRecord record, std::string_view payload);
    std::size_t Size() const { return m_records.size(); }
    bool Empty() const { return m_records.empty(); }
    const LogRecord& At(std::size_t index) const { return m_records[index]; }
    std::string_view Payload(std::size_t index) const;
    std::uint64_t FirstSequence() const { return m_firstSequence; }
    std::uint64_t EndSequence() const { return m_firstSequence + m_records.size(); }
    // Takes the oldest `count` lines away (all of them when there are fewer).
    void DropFront(std::size_t count);
    void Clear();

private:
    struct Chunk
    {
        std::unique_ptr<char[]> Data;
        std::uint32_t Capacity = 0;
        std::uint32_t Used = 0;
    };
    std::deque<LogRecord> m_records;
    std::deque<Chunk> m_chunks;
    std::uint32_t m_firstChunk = 0; // the number of m_chunks.front()
    std::uint64_t m_firstSequence = 0;
};

// The line's content as the log writes it (without prefix and columns).
void AppendLogContent(const LogRecord& record, std::string_view payload, std::string& out);
// The line as the view shows it, in Latin-1: the time column (local time: `utcOffsetMs` is
// added to the handling time), the prefix, the content, the text column and the response
// time, as `columns` asks.
void AppendShownLine(const LogRecord& record, std::string_view payload, const LogColumns& columns,
                     std::int64_t utcOffsetMs, std::string& out);
// Characters of the shown line before its content (the time column and the prefix).
int ShownContentStart(const LogRecord& record, const LogColumns& columns);

// What the filter bar asks for; an empty member lets every line through.
struct LogFilter
{
    LogPort Port = LogPort::None;
    LogDirection Direction = LogDirection::None;
    // Frames, ACK/NAK, errors and set-aside bytes; "errors" include lost ports and lines of a
    // log file that could not be read.
    enum class Kinds : std::uint8_t
    {
        Any,
        Frames,
        Acks,
        Errors,
    } Kind = Kinds::Any;
    std::string Text;  // case-insensitive, in the shown line
    std::string Bytes; // a run of bytes the line's frame or set-aside bytes contain
    // The text typed holds a character no line can hold (one outside Latin-1): no line passes.
    bool TextInNoLine = false;
    bool Active() const
    {
        return Port != LogPort::None || Direction != LogDirection::None || Kind != Kinds::Any ||
               !Text.empty() || !Bytes.empty() || TextInNoLine;
    }
    bool operator==(const LogFilter&) const = default;
};

// Whether a record passes the filter; `shownLine` is the line as shown (needed only when the
// filter has a text).
bool LogFilterMatches(const LogFilter& filter, const LogRecord& record, std::string_view payload,
                      std::string_view shownLine);

// A byte pattern typed as hexadecimal pairs ("1C 30 30", "1c3030"; blanks anywhere between
// pairs). False for anything else, an odd digit count included.
bool ParseHexPattern(std::string_view text, std::string& bytes);

// Case-insensitive (ASCII) search of `needle` in `line` from `from`; npos when absent. The
// needle must already be in upper case (see UpperAscii).
std::size_t FindUpper(std::string_view line, std::string_view upperNeedle, std::size_t from = 0);
std::string UpperAscii(std::string_view text);

// Whether bytes written are one of the host's one-byte replies (ACK, NAK) rather than a frame.
bool IsReplyByte(std::string_view bytes);

// ---- log files read back ---------------------------------------------------------------------

// One line of a log file (or of a view saved as text) as the record it was written from: the
// prefix, the port (an answer line takes the port of the last line written, `lastSentPort`),
// the bytes of a frame or of set-aside bytes. A line it cannot place is kept as it stands, as
// a note (the header and time stamps) or as an unread line. A saved view's time column and
// text column are recognised and dropped from the payload; its time is kept.
struct ParsedLogLine
{
    LogRecord Record;
    std::string Payload;
};
ParsedLogLine ParseLogFileLine(std::string_view line, LogPort lastSentPort);

// Every line of a log file's text (CR LF or LF ends) into `store`, coloured by `color`.
// Returns how many lines were no line the program writes (kept as they stand).
int ReadLogText(std::string_view text, LogStore& store,
                const std::function<std::uint32_t(const LogRecord&)>& color);

} // namespace tallyhost
