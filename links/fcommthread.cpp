#include "links/fcommthread.h"

#include <cstring>

namespace tallyhost {

namespace {

using std::chrono::milliseconds;

// Write allowance: the line runs at a fixed 9600 baud (about 1 ms a byte); the margin covers a
// printer that is slow to take its input.
constexpr milliseconds WriteAllowancePerByte{10};
constexpr milliseconds WriteAllowanceBase{1500};

milliseconds WriteTimeout(std::size_t count)
{
    return WriteAllowanceBase + WriteAllowancePerByte * static_cast<std::int64_t>(count);
}

} // namespace

TFCommThread::TFCommThread(SerialDevice& device, PostBridge& bridge,
                           const std::atomic<std::int32_t>& timeOut)
    : LinkWorker(device, bridge), m_timeOut(timeOut)
{
}

TFCommThread::~TFCommThread()
{
    // The exchange uses this object's members: the thread must end before they go.
    Stop();
}

void TFCommThread::RunCommand(const std::string& frame)
{
    if (!SendFrame(frame))
        NotifyStatus(FPN_WriteError);
    else if (!WaitAnswer())
        NotifyStatus(FPN_NoAnswer);
    // A successful wait has already posted its outcome: the ACK or the final answer frame.
}

bool TFCommThread::SendFrame(const std::string& frame)
{
    // The answer time-out counts from the moment the printer has the whole frame.
    if (!SendComm(frame.data(), frame.size(), WriteTimeout(frame.size())))
        return false;
    MarkCommandSent();
    m_commandSize = frame.size();
    m_responseMs = -1;
    SetWriteFrame(frame);
    NotifyStatus(FPN_FrameWritten, 0, frame);
    return true;
}

bool TFCommThread::WriteByte(std::uint8_t byte)
{
    return WriteComm(&byte, 1, WriteTimeout(1));
}

bool TFCommThread::WaitAnswer()
{
    const std::int32_t timeOut = m_timeOut.load();
    const milliseconds wait = timeOut > 0 ? milliseconds(timeOut) : WaitForever;
    for (;;) {
        std::size_t received = 0;
        const bool first = m_responseMs < 0 && m_readPosition == 0;
        const milliseconds thisWait =
            first && wait != WaitForever ? wait + UnseenLineTime(m_commandSize) : wait;
        // A full buffer (a flood without a frame end or an ACK) fails the read at once.
        const SerialIo result =
            Device().Read(m_receiveBuffer + m_readPosition, ReceiveBufferSize - m_readPosition,
                          received, thisWait);
        if (result != SerialIo::Done)
            return false;
        // The response time runs to the printer's answer: the chunk that brought its ACK or
        // the first frame's STX, not noise that came before them.
        const std::size_t chunkStart = m_readPosition;
        m_chunkArrivedAt = Device().ArrivedAt();
        m_readPosition += received;

        while (m_parsePosition < m_readPosition) {
            const auto outcome = ParseInputFrame(m_readPosition - m_parsePosition);
            if (m_parser.state() != TAuxFrameParser::State::OutsideFrame ||
                outcome == TAuxFrameParser::Outcome::Frame) {
                if (m_parser.FrameStart() >= chunkStart)
                    AnswerBegan();
            }
            if (outcome == TAuxFrameParser::Outcome::Ack) {
                DiscardRest();
                return true;
            }
            if (outcome != TAuxFrameParser::Outcome::Frame)
                break;
            const std::size_t start = m_parser.FrameStart();
            std::string frame = PrepareReadFrame(start, m_parsePosition - start);
            const bool final = CheckFinalFrame(frame);
            NotifyStatus(FPN_AnswerFrame, final ? 1 : 0, std::move(frame),
                         final ? m_responseMs : -1);
            if (WriteByte(auxframe::ACK))
                NotifyStatus(FPN_AckSent);
            if (final) {
                DiscardRest();
                return true;
            }
            // More frames follow. Bytes that came behind this one in the same chunk are the
            // start of the next: keep them at the front of the buffer and parse on.
            const std::size_t rest = m_readPosition - m_parsePosition;
            std::memmove(m_receiveBuffer, m_receiveBuffer + m_parsePosition, rest);
            m_readPosition = rest;
            m_parsePosition = 0;
        }
    }
}

TAuxFrameParser::Outcome TFCommThread::ParseInputFrame(std::size_t count)
{
    return m_parser.Parse(m_receiveBuffer, m_parsePosition, m_parsePosition + count, *this);
}

std::string TFCommThread::PrepareReadFrame(std::size_t start, std::size_t count)
{
    // The frame ends at its checksum byte; anything behind it belongs to the next frame.
    std::string frame(reinterpret_cast<const char*>(m_receiveBuffer + start), count);
    SetReadFrame(frame);
    return frame;
}

void TFCommThread::AnswerBegan()
{
    if (m_responseMs < 0)
        m_responseMs = ResponseMs(m_chunkArrivedAt);
}

void TFCommThread::AckReceived()
{
    // An ACK alone is the whole answer of a command that returns no data.
    AnswerBegan();
    NotifyStatus(FPN_AckReceived, 0, {}, m_responseMs);
}

void TFCommThread::NackReceived()
{
    NotifyStatus(FPN_NackReceived);
}

void TFCommThread::BadChecksum()
{
    // The printer sends the frame again after a NAK; nothing else is to be done here.
    if (WriteByte(auxframe::NAK))
        NotifyStatus(FPN_NackSent);
}

void TFCommThread::Discarded(TWireKind kind, const std::uint8_t* bytes, std::size_t count)
{
    ReportWire(kind, std::string_view(reinterpret_cast<const char*>(bytes), count));
}

void TFCommThread::DiscardRest()
{
    Discarded(TWireKind::Noise, m_receiveBuffer + m_parsePosition,
              m_readPosition - m_parsePosition);
}

void TFCommThread::ResetInternalState()
{
    m_readPosition = 0;
    m_parsePosition = 0;
    m_parser.Reset();
}

} // namespace tallyhost
