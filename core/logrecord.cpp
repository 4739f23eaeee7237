#include "core/logrecord.h"

#include "core/hexdigit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace tallyhost {

namespace {

// Payloads of this size or less share a chunk; a larger one gets a chunk of its own.
constexpr std::uint32_t kChunkSize = 256 * 1024;

constexpr std::array<std::string_view, 9> kPrefixTexts = {
    kHostPrefix,  kPrinterPrefix,   kFiscalPrefix, kBadFramePrefix,   kStalePrefix,
    kNoisePrefix, kKeepAlivePrefix, kLatePrefix,   std::string_view()};

char UpperChar(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

void AppendTwo(std::int64_t value, std::string& out)
{
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
}

} // namespace

std::string_view LogPrefixText(LogPrefix prefix)
{
    return kPrefixTexts[static_cast<std::size_t>(prefix)];
}

LogPrefix PrefixOfRole(LogColorRole role)
{
    switch (role) {
    case LogColorRole::Host:
        return LogPrefix::Host;
    case LogColorRole::Printer:
        return LogPrefix::Printer;
    case LogColorRole::Fiscal:
        return LogPrefix::Fiscal;
    case LogColorRole::BadFrame:
        return LogPrefix::BadFrame;
    case LogColorRole::Stale:
        return LogPrefix::Stale;
    case LogColorRole::Noise:
        return LogPrefix::Noise;
    case LogColorRole::KeepAlive:
        return LogPrefix::KeepAlive;
    case LogColorRole::Late:
        return LogPrefix::Late;
    }
    return LogPrefix::None;
}

// ---- store ---------------------------------------------------------------------------------

LogStore::LogStore() = default;
LogStore::~LogStore() = default;
LogStore::LogStore(LogStore&&) noexcept = default;
LogStore& LogStore::operator=(LogStore&&) noexcept = default;

void LogStore::Append(LogRecord record, std::string_view payload)
{
    const auto size = static_cast<std::uint32_t>(
        std::min<std::size_t>(payload.size(), std::numeric_limits<std::uint32_t>::max()));
    if (m_chunks.empty() || m_chunks.back().Capacity - m_chunks.back().Used < size) {
        Chunk chunk;
        chunk.Capacity = std::max(kChunkSize, size);
        chunk.Data = std::make_unique<char[]>(chunk.Capacity);
        m_chunks.push_back(std::move(chunk));
    }
    Chunk& chunk = m_chunks.back();
    if (size > 0)
        std::memcpy(chunk.Data.get() + chunk.Used, payload.data(), size);
    record.Chunk = m_firstChunk + static_cast<std::uint32_t>(m_chunks.size() - 1);
    record.Offset = chunk.Used;
    record.Size = size;
    chunk.Used += size;
    m_records.push_back(record);
}

std::string_view LogStore::Payload(std::size_t index) const
{
    const LogRecord& record = m_records[index];
    if (record.Size == 0)
        return {};
    const Chunk& chunk = m_chunks[record.Chunk - m_firstChunk];
    return {chunk.Data.get() + record.Offset, record.Size};
}

void LogStore::DropFront(std::size_t count)
{
    count = std::min(count, m_records.size());
    m_records.erase(m_records.begin(), m_records.begin() + static_cast<std::ptrdiff_t>(count));
    m_firstSequence += count;
    if (m_records.empty()) {
        // Keep the newest chunk for the next lines.
        while (m_chunks.size() > 1) {
            m_chunks.pop_front();
            ++m_firstChunk;
        }
        if (!m_chunks.empty())
            m_chunks.front().Used = 0;
        return;
    }
    // Chunks before the one the oldest record uses hold nothing that is still in the view.
    while (m_firstChunk < m_records.front().Chunk) {
        m_chunks.pop_front();
        ++m_firstChunk;
    }
}

void LogStore::Clear()
{
    DropFront(m_records.size());
}

// ---- text ----------------------------------------------------------------------------------

void AppendLogContent(const LogRecord& record, std::string_view payload, std::string& out)
{
    switch (record.Content) {
    case LogContent::Text:
        out += payload;
        break;
    case LogContent::Hex:
        AppendFrameHexText(payload, out);
        break;
    case LogContent::Wire:
        AppendWireContent(record.Port == LogPort::Fiscal, payload, out);
        break;
    }
}

void AppendShownLine(const LogRecord& record, std::string_view payload, const LogColumns& columns,
                     std::int64_t utcOffsetMs, std::string& out)
{
    // Built by hand: a find over a million lines formats every one of them.
    if (columns.Time) {
        if (record.HandledAtMs == std::numeric_limits<std::int64_t>::min()) {
            out.append(kLogTimeColumnWidth, ' '); // a line read back without a time
        } else {
            constexpr std::int64_t kDayMs = 24 * 60 * 60 * 1000;
            std::int64_t ms = ((record.HandledAtMs + utcOffsetMs) % kDayMs + kDayMs) % kDayMs;
            AppendTwo(ms / 3600000, out);
            out += ':';
            AppendTwo(ms / 60000 % 60, out);
            out += ':';
            AppendTwo(ms / 1000 % 60, out);
            out += '.';
            ms %= 1000;
            out += static_cast<char>('0' + ms / 100);
            AppendTwo(ms % 100, out);
            out += ' ';
        }
    }
    out += LogPrefixText(record.Prefix);
    AppendLogContent(record, payload, out);
    if (columns.Text && record.HasBytes) {
        // The hex text ends with a blank already.
        out += "| ";
        const std::size_t start = out.size();
        out += payload;
        for (std::size_t i = start; i < out.size(); ++i) {
            const auto byte = static_cast<unsigned char>(out[i]);
            if (byte < 0x20 || byte > 0x7E)
                out[i] = '.';
        }
    }
    if (columns.Response && record.ResponseMs >= 0) {
        out += " [";
        out += std::to_string(record.ResponseMs);
        out += " ms]";
    }
}

int ShownContentStart(const LogRecord& record, const LogColumns& columns)
{
    return (columns.Time ? kLogTimeColumnWidth : 0) +
           static_cast<int>(LogPrefixText(record.Prefix).size());
}

// ---- filter and find -------------------------------------------------------------------------

bool LogFilterMatches(const LogFilter& filter, const LogRecord& record, std::string_view payload,
                      std::string_view shownLine)
{
    if (filter.TextInNoLine)
        return false;
    if (filter.Port != LogPort::None && record.Port != filter.Port)
        return false;
    if (filter.Direction != LogDirection::None && record.Direction != filter.Direction)
        return false;
    switch (filter.Kind) {
    case LogFilter::Kinds::Any:
        break;
    case LogFilter::Kinds::Frames:
        if (record.Kind != LogKind::Frame)
            return false;
        break;
    case LogFilter::Kinds::Acks:
        if (record.Kind != LogKind::Ack)
            return false;
        break;
    case LogFilter::Kinds::Errors:
        if (record.Kind != LogKind::SetAside && record.Kind != LogKind::Unread &&
            record.Kind != LogKind::PortNote)
            return false;
        break;
    }
    if (!filter.Bytes.empty()) {
        if (record.Content == LogContent::Text ||
            payload.find(filter.Bytes) == std::string_view::npos)
            return false;
    }
    if (!filter.Text.empty() && FindUpper(shownLine, filter.Text) == std::string_view::npos)
        return false;
    return true;
}

bool ParseHexPattern(std::string_view text, std::string& bytes)
{
    bytes.clear();
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            if (high >= 0)
                return false; // a blank inside a pair
            continue;
        }
        const int value = HexDigitValue(c);
        if (value < 0)
            return false;
        if (high < 0) {
            high = value;
        } else {
            bytes += static_cast<char>(high * 16 + value);
            high = -1;
        }
    }
    return high < 0;
}

std::string UpperAscii(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = UpperChar(c);
    return upper;
}

std::size_t FindUpper(std::string_view line, std::string_view upperNeedle, std::size_t from)
{
    if (upperNeedle.empty() || line.size() < upperNeedle.size())
        return std::string_view::npos;
    const char first = upperNeedle.front();
    const char firstLower = first >= 'A' && first <= 'Z' ? static_cast<char>(first + 32) : first;
    const std::size_t last = line.size() - upperNeedle.size();
    for (std::size_t i = from; i <= last; ++i) {
        if (line[i] != first && line[i] != firstLower)
            continue;
        std::size_t k = 1;
        while (k < upperNeedle.size() && UpperChar(line[i + k]) == upperNeedle[k])
            ++k;
        if (k == upperNeedle.size())
            return i;
    }
    return std::string_view::npos;
}

// ---- log files read back -------------------------------------------------------------------

namespace {

// "XX " pairs from the start of `text`; the bytes go to `bytes`, the rest is returned.
std::string_view TakeHexPairs(std::string_view text, std::string& bytes)
{
    while (text.size() >= 3 && text[2] == ' ') {
        const int high = HexDigitValue(text[0]);
        const int low = HexDigitValue(text[1]);
        if (high < 0 || low < 0 || UpperChar(text[0]) != text[0] || UpperChar(text[1]) != text[1])
            break;
        bytes += static_cast<char>(high * 16 + low);
        text.remove_prefix(3);
    }
    return text;
}

// What may follow a hex content in a saved view: the text column and the response time.
bool TakeColumns(std::string_view rest, std::size_t byteCount, LogRecord& record)
{
    if (rest.substr(0, 2) == "| ") {
        if (rest.size() < 2 + byteCount)
            return false;
        rest.remove_prefix(2 + byteCount);
    }
    if (rest.empty())
        return true;
    // " [<n> ms]"
    if (rest.size() < 6 || rest.substr(0, 2) != " [" || rest.substr(rest.size() - 4) != " ms]")
        return false;
    const std::string_view digits = rest.substr(2, rest.size() - 6);
    if (digits.empty() || digits.size() > 9)
        return false;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    record.ResponseMs = value;
    return true;
}

bool IsTimeColumn(std::string_view line, std::int64_t* msOfDay)
{
    if (line.size() < static_cast<std::size_t>(kLogTimeColumnWidth))
        return false;
    static constexpr std::string_view kShape = "99:99:99.999 ";
    std::int64_t parts[4] = {0, 0, 0, 0};
    int part = 0;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == '9') {
            if (line[i] < '0' || line[i] > '9')
                return false;
            parts[part] = parts[part] * 10 + (line[i] - '0');
        } else if (line[i] != kShape[i]) {
            return false;
        } else {
            ++part;
        }
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return false;
    *msOfDay = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000 + parts[3];
    return true;
}

// A port opened or closed, as the file writes it without a prefix and a saved view with one.
bool IsPortChange(std::string_view body)
{
    return body.substr(0, 8) == "Open COM" || body == "Close port";
}

// "COM<n> lost (...)" and "COM<n>: another device at ...": the state of a port, which the
// file writes without a prefix and so without saying which link it is.
bool IsPortNote(std::string_view body)
{
    if (body.substr(0, 3) != "COM")
        return false;
    std::size_t digits = 3;
    while (digits < body.size() && body[digits] >= '0' && body[digits] <= '9')
        ++digits;
    if (digits == 3)
        return false;
    body.remove_prefix(digits);
    return body.substr(0, 7) == " lost (" || body.substr(0, 17) == ": another device ";
}

} // namespace

bool IsReplyByte(std::string_view bytes)
{
    return bytes.size() == 1 && (bytes[0] == '\x06' || bytes[0] == '\x15');
}

ParsedLogLine ParseLogFileLine(std::string_view line, LogPort lastSentPort)
{
    ParsedLogLine parsed;
    LogRecord& record = parsed.Record;
    record.HandledAtMs = std::numeric_limits<std::int64_t>::min();
    const auto keepAsItStands = [&](LogKind kind) {
        parsed.Record = LogRecord{};
        parsed.Record.HandledAtMs = std::numeric_limits<std::int64_t>::min();
        parsed.Record.Kind = kind;
        parsed.Payload = std::string(line);
        return parsed;
    };

    std::string_view body = line;
    std::int64_t msOfDay = 0;
    if (IsTimeColumn(body, &msOfDay)) {
        record.HandledAtMs = msOfDay;
        body.remove_prefix(kLogTimeColumnWidth);
    }

    // Lines the file has without a prefix: port changes and the state of a port.
    if (IsPortChange(body) || IsPortNote(body)) {
        record.Kind = IsPortChange(body) ? LogKind::Port : LogKind::PortNote;
        parsed.Payload = std::string(body);
        return parsed;
    }

    LogPrefix prefix = LogPrefix::None;
    for (std::size_t i = 0; i + 1 < kPrefixTexts.size(); ++i) {
        if (body.substr(0, kPrefixTexts[i].size()) == kPrefixTexts[i]) {
            prefix = static_cast<LogPrefix>(i);
            break;
        }
    }
    if (prefix == LogPrefix::None)
        return keepAsItStands(LogKind::Note); // the header, time stamps, a note of the program
    body.remove_prefix(LogPrefixText(prefix).size());
    record.Prefix = prefix;

    switch (prefix) {
    case LogPrefix::Host:
    case LogPrefix::Fiscal:
    case LogPrefix::Printer: {
        // Lines of words. A saved view gives them the prefix of their port (a port change) and
        // a response time (a fiscal ACK), so the words are tested here, after the prefix, and
        // the columns after the words.
        if (prefix == LogPrefix::Printer) {
            for (const std::string_view word : {"ACK", "NACK", "INTERMEDIATE ANSWER"}) {
                if (body.substr(0, word.size()) == word &&
                    TakeColumns(body.substr(word.size()), 0, record)) {
                    record.Kind = LogKind::Ack;
                    record.Direction = LogDirection::Received;
                    record.Port = lastSentPort == LogPort::None ? LogPort::Host : lastSentPort;
                    parsed.Payload = std::string(word);
                    return parsed;
                }
            }
        } else if (IsPortChange(body)) {
            record.Kind = LogKind::Port;
            record.Port = prefix == LogPrefix::Host ? LogPort::Host : LogPort::Fiscal;
            parsed.Payload = std::string(body);
            return parsed;
        }
        std::string bytes;
        const std::string_view rest = TakeHexPairs(body, bytes);
        if (!TakeColumns(rest, bytes.size(), record)) {
            // Words after a port's prefix: the state of a port in a saved view.
            if (prefix == LogPrefix::Printer)
                return keepAsItStands(LogKind::Unread);
            record = LogRecord{record.HandledAtMs};
            record.Prefix = prefix;
            record.Kind = LogKind::PortNote;
            record.Port = prefix == LogPrefix::Host ? LogPort::Host : LogPort::Fiscal;
            parsed.Payload = std::string(body);
            return parsed;
        }
        record.Content = LogContent::Hex;
        record.HasBytes = true;
        if (prefix == LogPrefix::Printer) {
            record.Direction = LogDirection::Received;
            record.Port = lastSentPort == LogPort::None ? LogPort::Host : lastSentPort;
            record.Kind = LogKind::Frame;
        } else {
            record.Direction = LogDirection::Sent;
            record.Port = prefix == LogPrefix::Host ? LogPort::Host : LogPort::Fiscal;
            record.Kind = IsReplyByte(bytes) ? LogKind::Ack : LogKind::Frame;
        }
        parsed.Payload = std::move(bytes);
        return parsed;
    }
    default: {
        // "<link>, <n> byte(s): <hex>"
        const std::string_view content = body;
        LogPort port = LogPort::None;
        if (body.substr(0, 6) == "host, ") {
            port = LogPort::Host;
            body.remove_prefix(6);
        } else if (body.substr(0, 8) == "fiscal, ") {
            port = LogPort::Fiscal;
            body.remove_prefix(8);
        } else {
            return keepAsItStands(LogKind::Unread);
        }
        const std::size_t colon = body.find(": ");
        if (colon == std::string_view::npos)
            return keepAsItStands(LogKind::Unread);
        std::string bytes;
        const std::string_view rest = TakeHexPairs(body.substr(colon + 2), bytes);
        body = content;
        std::string expected;
        record.Port = port;
        record.Content = LogContent::Wire;
        AppendWireContent(port == LogPort::Fiscal, bytes, expected);
        // The count must agree with the bytes: anything else is no line the program wrote.
        if (expected.size() != body.size() - rest.size() ||
            body.substr(0, expected.size()) != expected || !TakeColumns(rest, bytes.size(), record))
            return keepAsItStands(LogKind::Unread);
        record.Direction = LogDirection::Received;
        record.Kind = LogKind::SetAside;
        record.HasBytes = true;
        parsed.Payload = std::move(bytes);
        return parsed;
    }
    }
}

int ReadLogText(std::string_view text, LogStore& store,
                const std::function<std::uint32_t(const LogRecord&)>& color)
{
    int unread = 0;
    LogPort lastSent = LogPort::Host;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        ParsedLogLine parsed = ParseLogFileLine(text.substr(start, stop - start), lastSent);
        // An answer is on the port of the last command written.
        if (parsed.Record.Direction == LogDirection::Sent && parsed.Record.Kind == LogKind::Frame)
            lastSent = parsed.Record.Port;
        if (parsed.Record.Kind == LogKind::Unread)
            ++unread;
        if (color)
            parsed.Record.Color = color(parsed.Record);
        store.Append(parsed.Record, parsed.Payload);
        start = end + 1;
    }
    return unread;
}

} // namespace tallyhost
