#include "links/commthread.h"

#include <cstring>
#include <mutex>

namespace tallyhost {

std::chrono::milliseconds TCommThread::WriteAllowancePerByte(TBaudRate rate)
{
    using std::chrono::milliseconds;
    switch (rate) {
    case br1200:
        return milliseconds{25};
    case br2400:
        return milliseconds{20};
    case br4800:
        return milliseconds{14};
    default:
        return milliseconds{10};
    }
}

TCommThread::TCommThread(SerialDevice& device, TBaudRate rate, PostBridge& bridge)
    : LinkWorker(device, bridge), m_rate(rate)
{
}

TCommThread::~TCommThread()
{
    Stop();
}

void TCommThread::GetFinalFrame(std::vector<std::string>& list) const
{
    std::lock_guard guard(FrameLock());
    list = m_answerFields;
}

void TCommThread::RunCommand(const std::string& frame)
{
    if (!SendFrame(frame)) {
        NotifyStatus(FPN_WriteError);
        return;
    }
    NotifyStatus(WaitAnswer() ? FPN_FinalAnswer : FPN_NoAnswer);
}

void TCommThread::ResetInternalState()
{
    m_readPosition = 0;
    m_parsePosition = 0;
    m_parser.Reset();
}

bool TCommThread::SendFrame(const std::string& frame)
{
    // The answer wait (and the frame-written notification) start once the frame has left
    // the port, not when the driver took it: a long frame on a slow line takes seconds.
    if (!SendComm(frame.data(), frame.size(), WriteTimeOut(m_rate, frame.size())))
        return false;
    MarkCommandSent();
    SetWriteFrame(frame);
    // The frame travels with its notification: by the time the component handles it, the
    // worker may be writing another command's (after a Purge).
    NotifyStatus(FPN_FrameWritten, 0, frame);
    m_parser.SetCommandSequence(frame.size() > 1 ? static_cast<std::uint8_t>(frame[1]) : 0);
    m_commandSize = frame.size();
    m_ackArrivedAt.reset();
    return true;
}

bool TCommThread::WaitAnswer()
{
    auto silence = AnswerSilenceTimeOut + UnseenLineTime(m_commandSize);
    for (;;) {
        std::size_t received = 0;
        // A full buffer (no room left) fails at once: the printer is flooding the line
        // without ever finishing a frame.
        const std::size_t chunkStart = m_readPosition;
        const SerialIo io = Device().Read(m_receive.data() + m_readPosition,
                                          m_receive.size() - m_readPosition, received, silence);
        if (io != SerialIo::Done)
            return false;
        silence = AnswerSilenceTimeOut;
        m_readPosition += received;
        const auto outcome =
            m_parser.Parse(m_receive.data(), m_parsePosition, m_readPosition, *this);
        // The ACK and the keep-alives are not the answer: the response time runs to the first
        // byte of the final frame, which is in this chunk or in the one its frame began in.
        const auto state = m_parser.state();
        const bool inFrame = state != THostAnswerParser::State::Idle &&
                             state != THostAnswerParser::State::Acknowledged;
        if ((outcome == THostAnswerParser::Outcome::FinalFrame || inFrame) &&
            m_parser.FrameStart() >= chunkStart)
            m_frameArrivedAt = Device().ArrivedAt();
        if (outcome == THostAnswerParser::Outcome::FinalFrame) {
            {
                std::lock_guard guard(FrameLock());
                m_answerFields = m_parser.Fields();
            }
            // An ACK that came before the answer shows when the printer had the command; one
            // that came with it shows nothing of the kind.
            if (m_ackArrivedAt && *m_ackArrivedAt < m_frameArrivedAt)
                MarkCommandReceived(*m_ackArrivedAt);
            const std::int32_t responseMs = ResponseMs(m_frameArrivedAt);
            NotifyStatus(FPN_FrameRead, 0, PrepareReadFrame(m_parser.FrameStart(), m_parsePosition),
                         responseMs);
            if (m_parser.AckWritten())
                NotifyStatus(FPN_AckSent);
            // What came behind the final frame in the same chunk is dropped with the exchange.
            Discarded(TWireKind::Noise, m_receive.data() + m_parsePosition,
                      m_readPosition - m_parsePosition);
            return true;
        }
        if (m_parser.IntermediateSeen()) {
            // The printer's "still working" frames are done with: their bytes make room for
            // the rest of the answer. A chunk can end inside the next frame (a reader that
            // got round to the line late, a real line's pace): that frame's bytes so far move
            // to the front of the buffer, so a long report never fills it.
            const auto state = m_parser.state();
            const bool betweenFrames = state == THostAnswerParser::State::Idle ||
                                       state == THostAnswerParser::State::Acknowledged;
            const std::size_t done = betweenFrames ? m_parsePosition : m_parser.FrameStart();
            std::memmove(m_receive.data(), m_receive.data() + done, m_readPosition - done);
            m_readPosition -= done;
            m_parsePosition -= done;
            if (!betweenFrames)
                m_parser.BufferMovedBack(done);
            m_parser.ClearIntermediate();
        }
    }
}

std::string TCommThread::PrepareReadFrame(std::size_t from, std::size_t to)
{
    // The frame from its STX through its last checksum character; bytes that followed it in
    // the same chunk are not part of it (they are purged with the end of the exchange).
    std::string frame(reinterpret_cast<const char*>(m_receive.data()) + from, to - from);
    SetReadFrame(frame);
    return frame;
}

void TCommThread::AckReceived()
{
    // The ACK came in the chunk just read.
    m_ackArrivedAt = Device().ArrivedAt();
    NotifyStatus(FPN_AckReceived);
}

void TCommThread::NackReceived()
{
    NotifyStatus(FPN_NackReceived);
}

void TCommThread::IntermediateAnswer()
{
    NotifyStatus(FPN_IntermediateAnswer);
}

void TCommThread::Discarded(TWireKind kind, const std::uint8_t* bytes, std::size_t count)
{
    ReportWire(kind, std::string_view(reinterpret_cast<const char*>(bytes), count));
}

bool TCommThread::WriteReply(std::uint8_t byte)
{
    const bool written = WriteComm(&byte, 1, WriteTimeOut(m_rate, 1));
    if (written && byte == hostframe::NAK)
        NotifyStatus(FPN_NackSent);
    return written;
}

} // namespace tallyhost
