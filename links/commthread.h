#pragma once

#include "links/hostframe.h"
#include "links/hosttypes.h"
#include "links/linkworker.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallyhost {

// The host link's worker: writes one command frame, then reads and parses the printer's bytes
// until the final frame, a silence, or a failure, and reports each step as a link
// notification to the component's bridge.
//
// Bytes go to the parser as soon as poll() says they are there, so an exchange ends at the
// final frame's last checksum character. Each wait for the printer lasts at most
// AnswerSilenceTimeOut; every chunk that arrives (a single DC2 included) starts a new wait, so
// a printer that keeps talking may take as long as it needs. Nothing is ever resent.
class TCommThread final : public LinkWorker, private THostAnswerParser::Listener
{
public:
    // Link notifications, in the numbering the component and the log know them by.
    enum Notification : int
    {
        FPN_AckReceived = 0,        // the printer took the command frame
        FPN_NackReceived = 1,       // the printer refused it
        FPN_IntermediateAnswer = 2, // DC2 or an intermediate frame: still working
        FPN_FinalAnswer = 3,        // the exchange ended with a final frame
        FPN_FrameWritten = 4,       // the command frame went out; Frame = the bytes written
        FPN_WriteError = 5,         // it did not
        FPN_FrameRead = 6,          // the final frame was read; Frame = the bytes read
        FPN_NoAnswer = 7,           // no final frame came
        FPN_AckSent = 8,            // the host acknowledged the final frame
        FPN_NackSent = 9,           // the host refused an answer frame (bad checksum)
        FPN_WireEvent = 10,         // bytes set aside: Param = TWireKind, Frame = the bytes
    };

    static constexpr std::chrono::milliseconds AnswerSilenceTimeOut{2500};
    static constexpr std::chrono::milliseconds WriteTimeOutBase{1500};

    // Write allowance per byte at a line speed: 25 ms at 1200 baud down to 10 ms from 9600.
    static std::chrono::milliseconds WriteAllowancePerByte(TBaudRate rate);
    static std::chrono::milliseconds WriteTimeOut(TBaudRate rate, std::size_t count)
    {
        return WriteTimeOutBase + WriteAllowancePerByte(rate) * static_cast<long>(count);
    }

    TCommThread(SerialDevice& device, TBaudRate rate, PostBridge& bridge);
    ~TCommThread() override;

    // Copy of the fields of the last final answer, taken under the frame lock.
    void GetFinalFrame(std::vector<std::string>& list) const;

private:
    void RunCommand(const std::string& frame) override;
    void ResetInternalState() override;
    int WireNotificationCode() const override { return FPN_WireEvent; }

    bool SendFrame(const std::string& frame);
    bool WaitAnswer();
    std::string PrepareReadFrame(std::size_t from, std::size_t to);

    // THostAnswerParser::Listener
    void AckReceived() override;
    void NackReceived() override;
    void IntermediateAnswer() override;
    bool WriteReply(std::uint8_t byte) override;
    void Discarded(TWireKind kind, const std::uint8_t* bytes, std::size_t count) override;

    const TBaudRate m_rate;
    THostAnswerParser m_parser;
    std::array<std::uint8_t, hostframe::BufferSize> m_receive{};
    std::size_t m_readPosition = 0;
    std::size_t m_parsePosition = 0;
    // When the first byte of the frame being parsed arrived: the answer's first byte, once
    // that frame turns out to be the final one.
    std::chrono::steady_clock::time_point m_frameArrivedAt{};
    std::size_t m_commandSize = 0;
    // When the printer's ACK of the command came, if it has.
    std::optional<std::chrono::steady_clock::time_point> m_ackArrivedAt;

    std::vector<std::string> m_answerFields; // guarded by FrameLock()
};

} // namespace tallyhost
