#pragma once

#include "links/auxframe.h"
#include "links/linkworker.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tallyhost {

// Link notifications of the auxiliary link's worker (LinkNotification::Code).
enum TFLinkNotification : int
{
    FPN_AckReceived = 0,  // ACK read outside a frame
    FPN_NackReceived = 1, // NAK read outside a frame
    FPN_FrameWritten = 2, // the command frame was written; Frame = the bytes written
    FPN_WriteError = 3,   // writing the command frame failed
    FPN_AnswerFrame = 4,  // an answer frame with a good checksum; Param 1 = final, 0 = more
                          // follow; Frame = the frame as received
    FPN_NoAnswer = 5,     // the answer wait timed out, failed or was aborted
    FPN_AckSent = 6,      // ACK written after an answer frame
    FPN_NackSent = 7,     // NAK written after an answer frame with a bad checksum
    FPN_WireEvent = 8,    // bytes set aside: Param = TWireKind, Frame = the bytes
};

// Worker thread of the auxiliary (fiscal) link.
//
// The command cycle, the command event and the abort are LinkWorker's; this class is the
// exchange: write the frame, then read and parse until the printer's ACK or its final answer
// frame, acknowledging every answer frame and refusing (NAK) every frame with a bad checksum.
// Each answer frame travels with its own notification, because the printer may send the next
// one before the GUI thread has handled the previous notification.
//
// The answer wait per read is the component's TimeOut, read at the start of each exchange;
// 0 waits without limit, which is only ended by the printer, Purge or ClosePort (both wake the
// device).
class TFCommThread : public LinkWorker, private TAuxFrameParser::Listener
{
public:
    static constexpr std::size_t ReceiveBufferSize = 1200;

    TFCommThread(SerialDevice& device, PostBridge& bridge,
                 const std::atomic<std::int32_t>& timeOut);
    ~TFCommThread() override;

    static bool CheckFinalFrame(std::string_view text) { return auxframe::CheckFinalFrame(text); }

protected:
    void RunCommand(const std::string& frame) override;
    void ResetInternalState() override;
    int WireNotificationCode() const override { return FPN_WireEvent; }

private:
    bool SendFrame(const std::string& frame);
    bool WaitAnswer();
    TAuxFrameParser::Outcome ParseInputFrame(std::size_t count);
    std::string PrepareReadFrame(std::size_t start, std::size_t count);
    bool WriteByte(std::uint8_t byte);

    // TAuxFrameParser::Listener
    // The printer's answer began in the chunk being parsed: its response time, once.
    void AnswerBegan();
    void AckReceived() override;
    void NackReceived() override;
    void BadChecksum() override;
    void Discarded(TWireKind kind, const std::uint8_t* bytes, std::size_t count) override;
    // Reports what is left in the buffer behind the parse position; the exchange is over.
    void DiscardRest();

    const std::atomic<std::int32_t>& m_timeOut;

    // Worker-only.
    std::uint8_t m_receiveBuffer[ReceiveBufferSize] = {};
    std::size_t m_readPosition = 0;
    std::size_t m_parsePosition = 0;
    TAuxFrameParser m_parser;
    std::size_t m_commandSize = 0;
    // The answer's first byte (an ACK alone or the first frame) came this long after the
    // command had left; -1 until it has come.
    std::int32_t m_responseMs = -1;
    // When the chunk being parsed was read: the answer's first byte came with it.
    std::chrono::steady_clock::time_point m_chunkArrivedAt;
};

} // namespace tallyhost
