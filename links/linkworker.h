#pragma once

#include "links/postbridge.h"
#include "links/serialdevice.h"
#include "links/wireevent.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tallyhost {

// The thread that runs a link's exchanges, shared by the host and the auxiliary link.
//
// The component (GUI thread) hands over one command frame at a time with StartCommand and
// SignalStartCommand; the worker wakes on that command event, purges the received data, runs
// the link's exchange (RunCommand, written by the link), then purges and resets its parser.
// Everything the worker has to say goes out as LinkNotifications posted through the bridge;
// it never calls the component.
//
// The command event is consumed by the worker when it wakes, so an event still "set" after an
// abort costs one idle cycle and then the worker sleeps: it uses no CPU while it waits, and
// SignalEndCommand is only a formality kept for the calling protocol.
//
// AbortSignaledEvents drops the command in progress from any point: it clears the pending
// flag, sets the command event and wakes the device, so that a blocked read or write returns
// at once. The parser is never touched from the GUI thread: the worker resets its own state
// at the end of every cycle.
//
// What the printer sends outside an exchange is not lost silently either: a link that names a
// notification for wire events (WireNotificationCode) has its worker watch the port while it
// waits for a command, and report the bytes that arrive then, and the ones a purge is about to
// drop, as TWireKind::Late. Loose bytes are collected into runs of at most kWireRunLimit bytes;
// a run is posted before any other notification, so the log keeps the order of the wire.
//
// Derived classes must call Stop() in their destructor, before their own members go.
class LinkWorker
{
public:
    LinkWorker(SerialDevice& device, PostBridge& bridge);
    virtual ~LinkWorker();
    LinkWorker(const LinkWorker&) = delete;
    LinkWorker& operator=(const LinkWorker&) = delete;

    // Starts the thread; false when the system refuses one.
    bool Start();
    // Terminate, wake and wait for the thread to end. Safe to call more than once.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

    // Copies the frame to the send buffer and marks a command pending. Returns the number the
    // worker will stamp on that command's notifications.
    std::uint64_t StartCommand(std::string_view frame);
    void SignalStartCommand();
    void SignalEndCommand();
    void AbortSignaledEvents();
    void Terminate();

    std::string GetWriteFrame() const;
    std::string GetReadFrame() const;

protected:
    // One exchange for `frame`; the port's input was purged just before. Runs on the worker.
    virtual void RunCommand(const std::string& frame) = 0;
    // Back to the state of a new exchange (parser, buffer positions). Runs on the worker.
    virtual void ResetInternalState() = 0;
    // The link's notification code for wire events (Param = TWireKind, Frame = the bytes); a
    // link without one (-1) reports nothing and its worker sleeps between commands.
    virtual int WireNotificationCode() const { return -1; }

    // Reports bytes the parser set aside. Frames go out at once; loose bytes (Noise, Late)
    // join the open run of their kind, which is posted when it is full, when another kind or
    // any other notification comes, or after a short silence between commands.
    void ReportWire(TWireKind kind, std::string_view bytes);
    void FlushWireRun();

    // The command frame has just left (SendComm succeeded): the start of the response time is
    // when its last byte left the port, by the device's account.
    void MarkCommandSent() { m_sentAt = m_device.SentAt(); }
    // The printer has shown, at `at`, that it has the whole command (it acknowledged it before
    // answering). On a pseudo-terminal, which cannot tell the writer when its far side read
    // the frame, that is when the response time starts: a simulated line may have taken
    // seconds to deliver it. On a line with a wire, the end of its wire time stays the start.
    void MarkCommandReceived(std::chrono::steady_clock::time_point at)
    {
        if (!m_device.HasWire())
            m_sentAt = std::max(m_sentAt, at);
    }
    // The response time: from the command's last byte leaving the port to `answerAt`, the
    // arrival of the answer's first byte (see SerialDevice::ArrivedAt), in milliseconds.
    std::int32_t ResponseMs(std::chrono::steady_clock::time_point answerAt) const;
    // What the first read of an answer adds to its time-out for a frame of `count` bytes. On
    // a pseudo-terminal the frame was "sent" when the driver took it, but the far side may be
    // a simulated line that takes it at its own pace: the printer cannot answer before it has
    // the frame, so the wait allows the frame's time on such a line. Zero on a real line,
    // where Send has already waited that time out.
    std::chrono::milliseconds UnseenLineTime(std::size_t count) const;

    // Posts a notification stamped with the running command's number.
    void NotifyStatus(int code, int param = 0);
    // The same, carrying a copy of `frame` with the notification (and the response time of an
    // answer frame).
    void NotifyStatus(int code, int param, std::string frame, std::int32_t responseMs = -1);

    // Writes with a deadline; false on failure, time-out or wake-up. A write that did not
    // finish leaves output to be purged at the end of the cycle.
    bool WriteComm(const void* bytes, std::size_t count, std::chrono::milliseconds timeout);
    // WriteComm for a command frame: true only once the frame has left the port (see
    // SerialDevice::Send), so that the answer wait starts when the printer has it all.
    bool SendComm(const void* bytes, std::size_t count, std::chrono::milliseconds timeout);

    void SetWriteFrame(std::string_view text);
    void SetReadFrame(std::string_view text);

    SerialDevice& Device() { return m_device; }
    // Guards what the GUI thread reads of the worker's results: the two frame texts here and
    // whatever a derived link adds (the host link's answer fields).
    std::mutex& FrameLock() const { return m_frameLock; }

private:
    void Execute();
    // Waits for the port or a wake-up between commands; what arrives is late.
    SerialIo WatchIdleInput();
    // Takes what the port holds right now (before a purge drops it) and reports it as late.
    void DrainInput();
    void Post(LinkNotification notification);

    SerialDevice& m_device;
    PostBridge& m_bridge;
    std::thread m_thread;

    // The command event and what comes with a command; guarded by m_commandLock.
    std::mutex m_commandLock;
    std::condition_variable m_commandEvent;
    bool m_eventSet = false;
    bool m_terminated = false;
    bool m_pending = false;
    bool m_idleWaiting = false; // the worker watches the port between commands
    std::uint64_t m_lastCommand = 0;
    std::string m_sendBuffer;

    // Worker-only.
    std::uint64_t m_runningCommand = 0;
    bool m_outputUnfinished = false;
    std::chrono::steady_clock::time_point m_sentAt{};
    TWireKind m_runKind = TWireKind::Noise;
    std::string m_wireRun;
    std::array<std::uint8_t, kWireRunLimit> m_idleBuffer{};

    mutable std::mutex m_frameLock;
    std::string m_writeFrame;
    std::string m_readFrame;
};

} // namespace tallyhost
