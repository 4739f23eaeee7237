#include "links/auxframe.h"

#include <array>

namespace tallyhost {

const char* FErrorTypeName(TFErrorType error)
{
    switch (error) {
    case FEFP_Success:
        return "FEFP_Success";
    case FEFP_E_ComInUse:
        return "FEFP_E_ComInUse";
    case FEFP_E_InvalidCom:
        return "FEFP_E_InvalidCom";
    case FEFP_E_ComAlreadyOpen:
        return "FEFP_E_ComAlreadyOpen";
    case FEFP_E_ComAlreadyClose:
        return "FEFP_E_ComAlreadyClose";
    case FEFP_E_BadInitialization:
        return "FEFP_E_BadInitialization";
    case FEFP_E_ComClose:
        return "FEFP_E_ComClose";
    case FEFP_E_MaxDataLengthReached:
        return "FEFP_E_MaxDataLengthReached";
    case FEFP_E_InvalidDataInField:
        return "FEFP_E_InvalidDataInField";
    case FEFP_E_OperationInProgress:
        return "FEFP_E_OperationInProgress";
    case FEFP_E_WriteError:
        return "FEFP_E_WriteError";
    case FEFP_E_ReadTimeOut:
        return "FEFP_E_ReadTimeOut";
    case FEFP_E_NackReceived:
        return "FEFP_E_NackReceived";
    }
    return "FEFP_Unknown";
}

const char* FCommPortName(TFCommPort port)
{
    switch (port) {
    case FCom2:
        return "COM2";
    case FCom3:
        return "COM3";
    case FCom4:
        return "COM4";
    case FCom1:
        break;
    }
    return "COM1";
}

namespace auxframe {

std::uint8_t Checksum(std::string_view data)
{
    unsigned sum = STX + ETX;
    for (char c : data)
        sum += static_cast<std::uint8_t>(c);
    return static_cast<std::uint8_t>(0x100u - (sum & 0xFFu));
}

bool BuildFrame(std::string_view data, std::string& frame)
{
    if (data.size() == 1 && static_cast<std::uint8_t>(data[0]) == ENQ) {
        frame = std::string(1, static_cast<char>(ENQ));
        return true;
    }
    if (data.size() > MaxDataLength)
        return false;
    frame.clear();
    frame.reserve(data.size() + 3);
    frame.push_back(static_cast<char>(STX));
    frame.append(data);
    frame.push_back(static_cast<char>(ETX));
    frame.push_back(static_cast<char>(Checksum(data)));
    return true;
}

bool CheckFinalFrame(std::string_view frameText)
{
    static constexpr std::array<std::string_view, 7> finalCodes{"0001", "0002", "0003", "0004",
                                                                "0010", "0011", "0000"};
    if (frameText.size() < 5)
        return false;
    const std::string_view code = frameText.substr(1, 4);
    for (std::string_view finalCode : finalCodes) {
        if (code == finalCode)
            return true;
    }
    return false;
}

std::string AnswerData(std::string_view frameText)
{
    // A parsed frame has at least STX, ETX and the checksum; anything shorter has no data.
    if (frameText.size() < 3)
        return {};
    return std::string(frameText.substr(1, frameText.size() - 3));
}

} // namespace auxframe

void TAuxFrameParser::Reset()
{
    m_state = State::OutsideFrame;
    m_checksum = 0;
    m_frameStart = 0;
}

TAuxFrameParser::Outcome TAuxFrameParser::Parse(const std::uint8_t* buffer, std::size_t& pos,
                                                std::size_t end, Listener& listener)
{
    using namespace auxframe;
    while (pos < end) {
        const std::size_t at = pos++;
        const std::uint8_t byte = buffer[at];
        switch (m_state) {
        case State::OutsideFrame:
            if (byte == ACK) {
                listener.AckReceived();
                return Outcome::Ack;
            }
            if (byte == NAK) {
                listener.NackReceived();
            } else if (byte == STX) {
                m_checksum = STX;
                m_frameStart = at;
                m_state = State::InFrame;
            } else {
                // Any other byte between frames is line noise and is skipped.
                listener.Discarded(TWireKind::Noise, buffer + at, 1);
            }
            break;
        case State::InFrame:
            m_checksum = static_cast<std::uint8_t>(m_checksum + byte);
            if (byte == ETX)
                m_state = State::ChecksumByte;
            break;
        case State::ChecksumByte:
            m_state = State::OutsideFrame;
            if (static_cast<std::uint8_t>(m_checksum + byte) == 0)
                return Outcome::Frame;
            listener.Discarded(TWireKind::BadChecksum, buffer + m_frameStart, pos - m_frameStart);
            listener.BadChecksum();
            break;
        }
    }
    return Outcome::GoOn;
}

} // namespace tallyhost
