#include "links/hostframe.h"

#include "core/hexdigit.h"

namespace tallyhost {

namespace hostframe {

namespace {

struct SequenceRange
{
    std::uint8_t Low;
    std::uint8_t High;
};

SequenceRange RangeOf(TProtocolType protocol)
{
    return protocol == protocol_Extended ? SequenceRange{0x81, 0xFF} : SequenceRange{0x20, 0x7F};
}

} // namespace

std::uint16_t Sum(std::string_view bytes)
{
    std::uint16_t sum = 0;
    for (const char c : bytes)
        sum = static_cast<std::uint16_t>(sum + static_cast<std::uint8_t>(c));
    return sum;
}

std::string CheckSumText(std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    const std::uint16_t sum = Sum(bytes);
    return {Digits[(sum >> 12) & 0xF], Digits[(sum >> 8) & 0xF], Digits[(sum >> 4) & 0xF],
            Digits[sum & 0xF]};
}

std::uint16_t ParseCheckSumText(std::string_view text)
{
    if (text.size() != 4)
        return 0;
    unsigned value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return 0;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint16_t>(value);
}

bool NeedsEscape(std::uint8_t byte)
{
    return byte == STX || byte == ETX || (byte >= 0x1A && byte <= 0x1F);
}

bool AppendField(TProtocolType protocol, std::string_view field, std::string& buffer)
{
    for (const char c : field) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (protocol == protocol_Extended) {
            if (NeedsEscape(byte))
                buffer += static_cast<char>(ESC);
        } else if (byte < 0x20 || byte > 0x7F) {
            return false;
        }
        buffer += c;
    }
    buffer += static_cast<char>(FS);
    return true;
}

std::string BuildFrame(std::string_view fieldBuffer, std::uint8_t sequence)
{
    if (!fieldBuffer.empty())
        fieldBuffer.remove_suffix(1);
    std::string frame;
    frame.reserve(fieldBuffer.size() + 7);
    frame += static_cast<char>(STX);
    frame += static_cast<char>(sequence);
    frame += fieldBuffer;
    frame += static_cast<char>(ETX);
    frame += CheckSumText(frame);
    return frame;
}

std::uint8_t NextSequence(TProtocolType protocol, std::uint8_t last)
{
    const SequenceRange range = RangeOf(protocol);
    if (last >= range.High || last < range.Low)
        return range.Low;
    return static_cast<std::uint8_t>(last + 1);
}

std::uint8_t FirstSequence(TProtocolType protocol, std::uint32_t random)
{
    const SequenceRange range = RangeOf(protocol);
    const unsigned span = static_cast<unsigned>(range.High - range.Low) + 1; // 0x60 or 0x7F
    return static_cast<std::uint8_t>(range.Low + random % span);
}

std::uint16_t FormatExtenFixedField(std::string_view field)
{
    std::string two;
    if (field.empty())
        two = "00";
    else if (field.size() == 1)
        two = std::string("0") + field[0];
    else
        two = field.substr(0, 2);
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(two[0]) << 8 |
                                      static_cast<std::uint8_t>(two[1]));
}

std::uint16_t CompatibleStatusField(std::string_view field)
{
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
        field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t'))
        field.remove_suffix(1);
    if (field.empty())
        return 0;
    unsigned value = 0;
    for (const char c : field) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return 0;
        value = (value << 4 | static_cast<unsigned>(digit)) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(value);
}

FinalAnswer ReadFinalAnswer(TProtocolType protocol, const std::vector<std::string>& fields)
{
    FinalAnswer answer;
    const std::size_t n = fields.size();
    std::size_t firstExtra = 0;
    if (protocol == protocol_Extended) {
        if (n >= 1)
            answer.PrinterStatus = FormatExtenFixedField(fields[0]);
        if (n >= 2)
            answer.FiscalStatus = FormatExtenFixedField(fields[1]);
        if (n >= 4)
            answer.ReturnCode = FormatExtenFixedField(fields[3]);
        firstExtra = 5;
    } else {
        if (n >= 2)
            answer.PrinterStatus = CompatibleStatusField(fields[1]);
        if (n >= 3)
            answer.FiscalStatus = CompatibleStatusField(fields[2]);
        firstExtra = 3;
    }
    if (n > firstExtra) {
        answer.HasExtraFields = true;
        answer.ExtraFields.assign(fields.begin() + static_cast<std::ptrdiff_t>(firstExtra),
                                  fields.end());
    }
    return answer;
}

} // namespace hostframe

using namespace hostframe;

void THostAnswerParser::Reset()
{
    m_state = State::Idle;
    m_checksum = 0;
    m_sequence = 0;
    m_field.clear();
    m_checkText.clear();
    m_frameStart = 0;
    m_ackWritten = false;
    m_intermediate = false;
}

THostAnswerParser::Judgement THostAnswerParser::Judge(Listener& listener,
                                                      const std::uint8_t* buffer, std::size_t end)
{
    // The frame from its STX through its last checksum character (`end`).
    const std::uint8_t* frame = buffer + m_frameStart;
    const std::size_t frameLength = end > m_frameStart ? end - m_frameStart : 0;
    if (ParseCheckSumText(m_checkText) != m_checksum) {
        listener.Discarded(TWireKind::BadChecksum, frame, frameLength);
        // Ask for the frame again; the printer repeats it within the same exchange.
        listener.WriteReply(NAK);
        m_state = State::Acknowledged;
        return Judgement::BadChecksum;
    }
    if (m_sequence == IntermediateSequence) {
        m_state = State::Acknowledged;
        m_intermediate = true;
        listener.Discarded(TWireKind::KeepAlive, frame, frameLength);
        listener.IntermediateAnswer();
        return Judgement::Intermediate;
    }
    if (m_sequence == m_commandSequence) {
        m_ackWritten = listener.WriteReply(ACK);
        m_state = State::Idle;
        return Judgement::Final;
    }
    // An answer to an earlier command that came late: acknowledged so the printer lets go of
    // it, and otherwise ignored.
    listener.Discarded(TWireKind::StaleFrame, frame, frameLength);
    listener.WriteReply(ACK);
    m_state = State::Idle;
    return Judgement::Stale;
}

THostAnswerParser::Outcome THostAnswerParser::Parse(const std::uint8_t* buffer, std::size_t& pos,
                                                    std::size_t end, Listener& listener)
{
    auto beginFrame = [&] {
        m_checksum = STX;
        m_fields.clear();
        m_field.clear();
        m_checkText.clear();
        m_frameStart = pos;
        m_state = State::Sequence;
    };
    while (pos < end) {
        const std::uint8_t byte = buffer[pos];
        switch (m_state) {
        case State::Idle:
            if (byte == ACK) {
                m_state = State::Acknowledged;
                listener.AckReceived();
            } else if (byte == NAK) {
                listener.NackReceived();
            } else if (byte == DC2) {
                listener.Discarded(TWireKind::KeepAlive, buffer + pos, 1);
                listener.IntermediateAnswer();
            } else if (byte == STX) {
                beginFrame();
            } else {
                listener.Discarded(TWireKind::Noise, buffer + pos, 1);
            }
            break;
        case State::Acknowledged:
            if (byte == STX) {
                beginFrame();
            } else if (byte == DC2) {
                listener.Discarded(TWireKind::KeepAlive, buffer + pos, 1);
                listener.IntermediateAnswer();
            } else {
                listener.Discarded(TWireKind::Noise, buffer + pos, 1);
            }
            break;
        case State::Sequence:
            m_sequence = byte;
            m_checksum = static_cast<std::uint16_t>(m_checksum + byte);
            m_state = State::Data;
            break;
        case State::Data:
            m_checksum = static_cast<std::uint16_t>(m_checksum + byte);
            if (byte == ESC) {
                m_state = State::Escape;
            } else if (byte == FS) {
                m_fields.push_back(std::move(m_field));
                m_field.clear();
            } else if (byte == ETX) {
                m_state = State::Check1;
            } else {
                m_field += static_cast<char>(byte);
            }
            break;
        case State::Escape:
            m_checksum = static_cast<std::uint16_t>(m_checksum + byte);
            m_field += static_cast<char>(byte);
            m_state = State::Data;
            break;
        case State::Check1:
            m_fields.push_back(std::move(m_field));
            m_field.clear();
            m_checkText.assign(1, static_cast<char>(byte));
            m_state = State::Check2;
            break;
        case State::Check2:
        case State::Check3:
            m_checkText += static_cast<char>(byte);
            m_state = m_state == State::Check2 ? State::Check3 : State::Check4;
            break;
        case State::Check4: {
            m_checkText += static_cast<char>(byte);
            ++pos;
            switch (Judge(listener, buffer, pos)) {
            case Judgement::Final:
                return Outcome::FinalFrame;
            case Judgement::BadChecksum:
                // The printer repeats the frame; whatever else the chunk held goes with it.
                listener.Discarded(TWireKind::Noise, buffer + pos, end - pos);
                pos = end;
                return Outcome::GoOn;
            case Judgement::Intermediate:
            case Judgement::Stale:
                continue;
            }
            continue;
        }
        }
        ++pos;
    }
    return Outcome::GoOn;
}

} // namespace tallyhost
