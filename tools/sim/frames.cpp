#include "tools/sim/frames.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace tallyhost::sim {

namespace {

// Bytes that cannot travel bare inside a field: the frame's own control bytes and the
// separators the protocol reserves. The host escapes the same set, so answers use it too.
bool NeedsEscape(unsigned char byte)
{
    return byte == 0x02 || byte == 0x03 || (byte >= 0x1A && byte <= 0x1F);
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string TwoBytes(std::uint16_t value)
{
    return std::string{static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

std::string StatusAsText(std::uint16_t value, StatusText form)
{
    return form == StatusText::Hex ? HexWord(value) : std::to_string(value);
}

} // namespace

bool SequenceVariant(std::uint8_t sequence, HostVariant& variant)
{
    if (sequence >= 0x20 && sequence <= 0x7F) {
        variant = HostVariant::Compatible;
        return true;
    }
    if (sequence >= 0x81) {
        variant = HostVariant::Extended;
        return true;
    }
    return false;
}

std::uint8_t PreviousSequence(std::uint8_t sequence)
{
    if (sequence >= 0x81)
        return sequence == 0x81 ? 0xFF : static_cast<std::uint8_t>(sequence - 1);
    return sequence <= 0x20 ? 0x7F : static_cast<std::uint8_t>(sequence - 1);
}

std::uint16_t HostChecksum(std::string_view bytes)
{
    std::uint16_t sum = 0;
    for (char c : bytes)
        sum = static_cast<std::uint16_t>(sum + static_cast<unsigned char>(c));
    return sum;
}

std::string HexWord(std::uint16_t value)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = Digits[value & 0xF];
        value = static_cast<std::uint16_t>(value >> 4);
    }
    return text;
}

std::string BuildHostFrame(std::uint8_t sequence, const std::vector<std::string>& fields)
{
    std::string frame;
    frame += STX;
    frame += static_cast<char>(sequence);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            frame += FS;
        for (char c : fields[i]) {
            if (NeedsEscape(static_cast<unsigned char>(c)))
                frame += ESC;
            frame += c;
        }
    }
    frame += ETX;
    frame += HexWord(HostChecksum(frame));
    return frame;
}

std::string CorruptChecksum(const std::string& frame)
{
    if (frame.size() < 4)
        return frame;
    std::string bad = frame;
    const std::size_t at = bad.size() - 4;
    const auto sum = static_cast<std::uint16_t>(std::stoul(bad.substr(at), nullptr, 16));
    // Off by one in the last digit: still four valid hex digits, just the wrong number.
    const std::string wrong = HexWord(static_cast<std::uint16_t>(sum ^ 0x0001));
    bad.replace(at, 4, wrong);
    return bad;
}

std::vector<std::string> AnswerFields(HostVariant variant, const AnswerContent& content,
                                      StatusText statusText)
{
    std::vector<std::string> fields;
    if (variant == HostVariant::Compatible) {
        fields.push_back(content.CommandCode);
        fields.push_back(StatusAsText(content.PrinterStatus, statusText));
        fields.push_back(StatusAsText(content.FiscalStatus, statusText));
    } else {
        fields.push_back(TwoBytes(content.PrinterStatus));
        fields.push_back(TwoBytes(content.FiscalStatus));
        fields.emplace_back();
        fields.push_back(TwoBytes(content.ReturnCode));
        fields.emplace_back();
    }
    fields.insert(fields.end(), content.Extra.begin(), content.Extra.end());
    return fields;
}

std::vector<std::string> IntermediateFields(HostVariant variant, const AnswerContent& content,
                                            StatusText statusText)
{
    if (variant == HostVariant::Compatible)
        return {content.CommandCode, StatusAsText(content.PrinterStatus, statusText),
                StatusAsText(content.FiscalStatus, statusText)};
    return {TwoBytes(content.PrinterStatus), TwoBytes(content.FiscalStatus)};
}

// ---------------------------------------------------------------------------------------------

void HostCommandParser::Reset()
{
    m_state = State::Idle;
    m_sum = 0;
    m_length = 0;
    m_field.clear();
    m_check.clear();
}

void HostCommandParser::addData(char byte)
{
    m_field += byte;
    if (++m_dataLength == MaxDataLength + 1 && m_refusal.empty())
        m_refusal = "more than " + std::to_string(MaxDataLength) + " bytes of field data";
}

void HostCommandParser::begin()
{
    m_state = State::Sequence;
    m_sum = static_cast<unsigned char>(STX);
    m_length = 1;
    m_field.clear();
    m_check.clear();
    m_dataLength = 0;
    m_refusal.clear();
    m_frame = Frame{};
}

HostCommandParser::Event HostCommandParser::Feed(char byte)
{
    const auto u = static_cast<unsigned char>(byte);
    if (m_state != State::Idle && m_state != State::Escape && byte == STX) {
        // A frame never holds a bare STX: this one starts a new frame and the old is noise.
        begin();
        return Event::None;
    }
    if (m_state != State::Idle && ++m_length > MaxFrameBytes) {
        Reset();
        return Event::None;
    }
    switch (m_state) {
    case State::Idle:
        if (byte == STX)
            begin();
        else if (byte == ACK)
            return Event::Ack;
        else if (byte == NAK)
            return Event::Nak;
        return Event::None;
    case State::Sequence:
        if (!SequenceVariant(u, m_frame.Variant)) {
            // Not a command frame of either variant (0x80 is the printer's own): line noise.
            Reset();
            return Event::None;
        }
        m_frame.Sequence = u;
        m_sum = static_cast<std::uint16_t>(m_sum + u);
        m_state = State::Data;
        return Event::None;
    case State::Data:
        m_sum = static_cast<std::uint16_t>(m_sum + u);
        if (byte == ESC && m_frame.Variant == HostVariant::Extended) {
            m_state = State::Escape;
        } else if (byte == FS) {
            m_frame.Fields.push_back(std::move(m_field));
            m_field.clear();
        } else if (byte == ETX) {
            m_frame.Fields.push_back(std::move(m_field));
            m_field.clear();
            m_state = State::Check;
        } else {
            if (m_frame.Variant == HostVariant::Compatible && (u < 0x20 || u > 0x7F) &&
                m_refusal.empty()) {
                char text[64];
                std::snprintf(text, sizeof text, "byte %02X in a field of a compatible frame", u);
                m_refusal = text;
            }
            addData(byte);
        }
        return Event::None;
    case State::Escape:
        m_sum = static_cast<std::uint16_t>(m_sum + u);
        addData(byte);
        m_state = State::Data;
        return Event::None;
    case State::Check: {
        m_check += byte;
        if (m_check.size() < 4)
            return Event::None;
        int value = 0;
        bool valid = true;
        for (char c : m_check) {
            const int digit = HexDigitValue(c);
            valid = valid && digit >= 0;
            value = value * 16 + (digit < 0 ? 0 : digit);
        }
        const bool good = valid && value == m_sum;
        m_state = State::Idle;
        m_check.clear();
        if (!good)
            return Event::BadFrame;
        return m_refusal.empty() ? Event::Frame : Event::RefusedFrame;
    }
    }
    return Event::None;
}

// ---------------------------------------------------------------------------------------------

std::uint8_t FiscalChecksum(std::string_view stxToEtx)
{
    unsigned sum = 0;
    for (char c : stxToEtx)
        sum += static_cast<unsigned char>(c);
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

std::string BuildFiscalFrame(std::string_view data)
{
    std::string frame;
    frame += STX;
    frame.append(data);
    frame += ETX;
    frame += static_cast<char>(FiscalChecksum(frame));
    return frame;
}

bool IsFinalFiscalCode(std::string_view data)
{
    static constexpr std::array<std::string_view, 7> Codes{"0001", "0002", "0003", "0004",
                                                           "0010", "0011", "0000"};
    const std::string_view head = data.substr(0, 4);
    for (auto code : Codes)
        if (head == code)
            return true;
    return false;
}

void FiscalCommandParser::Reset()
{
    m_state = State::Outside;
    m_raw.clear();
}

bool FiscalCommandParser::takeValidTail()
{
    // m_raw holds STX .. ETX and the checksum byte.
    for (std::size_t p = 1; p + 3 <= m_raw.size(); ++p) {
        if (m_raw[p] != STX)
            continue;
        unsigned sum = 0;
        for (std::size_t i = p; i < m_raw.size(); ++i)
            sum += static_cast<unsigned char>(m_raw[i]);
        if (sum % 256 == 0) {
            m_data = m_raw.substr(p + 1, m_raw.size() - p - 3);
            return true;
        }
    }
    return false;
}

FiscalCommandParser::Event FiscalCommandParser::Feed(char byte)
{
    switch (m_state) {
    case State::Outside:
        switch (byte) {
        case ENQ:
            return Event::Enq;
        case ACK:
            return Event::Ack;
        case NAK:
            return Event::Nak;
        case STX:
            m_raw.assign(1, STX);
            m_state = State::Inside;
            return Event::None;
        default:
            return Event::None;
        }
    case State::Inside:
        m_raw += byte;
        if (byte == ETX)
            m_state = State::Check;
        else if (m_raw.size() > MaxFrameBytes)
            Reset();
        return Event::None;
    case State::Check: {
        m_raw += byte;
        unsigned sum = 0;
        for (char c : m_raw)
            sum += static_cast<unsigned char>(c);
        if (sum % 256 == 0) {
            m_data = m_raw.substr(1, m_raw.size() - 3);
            Reset();
            return Event::Frame;
        }
        if (takeValidTail()) {
            Reset();
            return Event::Frame;
        }
        Reset();
        if (byte == STX) {
            // The "checksum" was the start of the next frame: this one was cut short.
            m_raw.assign(1, STX);
            m_state = State::Inside;
        }
        return Event::BadFrame;
    }
    }
    return Event::None;
}

// ---------------------------------------------------------------------------------------------

namespace {

// Reads x'hex' at `pos`; on success appends the bytes and moves pos past the closing quote.
bool TakeHexEscape(std::string_view text, std::size_t& pos, std::string& out)
{
    if (pos + 2 >= text.size() || (text[pos] != 'x' && text[pos] != 'X') || text[pos + 1] != '\'')
        return false;
    const std::size_t close = text.find('\'', pos + 2);
    if (close == std::string_view::npos || close == pos + 2)
        return false;
    std::string digits(text.substr(pos + 2, close - pos - 2));
    for (char c : digits)
        if (HexDigitValue(c) < 0)
            return false;
    if (digits.size() % 2 != 0)
        digits.insert(digits.begin(), '0');
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out += static_cast<char>(HexDigitValue(digits[i]) * 16 + HexDigitValue(digits[i + 1]));
    pos = close + 1;
    return true;
}

} // namespace

std::string ExpandAnswerText(std::string_view text, const std::vector<std::string>& commandFields)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (TakeHexEscape(text, pos, out))
            continue;
        if (text[pos] == '$' && pos + 1 < text.size()) {
            if (text[pos + 1] == '$') {
                out += '$';
                pos += 2;
                continue;
            }
            if (std::isdigit(static_cast<unsigned char>(text[pos + 1]))) {
                std::size_t end = pos + 1;
                std::size_t number = 0;
                while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
                    number = std::min<std::size_t>(
                        number * 10 + static_cast<std::size_t>(text[end] - '0'), 100000);
                    ++end;
                }
                if (number >= 1 && number <= commandFields.size())
                    out += commandFields[number - 1];
                pos = end;
                continue;
            }
        }
        out += text[pos++];
    }
    return out;
}

std::string ExpandHexEscapes(std::string_view text)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (!TakeHexEscape(text, pos, out))
            out += text[pos++];
    }
    return out;
}

} // namespace tallyhost::sim
