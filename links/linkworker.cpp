#include "links/linkworker.h"

#include <algorithm>
#include <cstdint>
#include <system_error>

#include <cerrno>
#include <unistd.h>

namespace tallyhost {

namespace {

// Between commands, a run of late bytes ends after this much silence.
constexpr std::chrono::milliseconds IdleRunSilence{50};

} // namespace

LinkWorker::LinkWorker(SerialDevice& device, PostBridge& bridge)
    : m_device(device), m_bridge(bridge)
{
}

LinkWorker::~LinkWorker()
{
    // Too late for RunCommand (the derived part is gone), but never leave a thread running.
    Stop();
}

bool LinkWorker::Start()
{
    if (m_thread.joinable())
        return true;
    {
        std::lock_guard guard(m_commandLock);
        m_terminated = false;
    }
    try {
        m_thread = std::thread([this] { Execute(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void LinkWorker::Stop()
{
    if (!m_thread.joinable())
        return;
    Terminate();
    AbortSignaledEvents();
    m_thread.join();
}

std::uint64_t LinkWorker::StartCommand(std::string_view frame)
{
    std::lock_guard guard(m_commandLock);
    m_sendBuffer.assign(frame);
    m_pending = true;
    return ++m_lastCommand;
}

void LinkWorker::SignalStartCommand()
{
    {
        std::lock_guard guard(m_commandLock);
        m_eventSet = true;
        // Only a worker watching the port between commands needs the device woken; an
        // exchange in progress must not be cut short by it.
        if (m_idleWaiting)
            m_device.Wake();
    }
    m_commandEvent.notify_one();
}

void LinkWorker::SignalEndCommand()
{
    // A command handed over since is still owed its cycle: only an event with nothing pending
    // may be reset.
    std::lock_guard guard(m_commandLock);
    if (!m_pending)
        m_eventSet = false;
}

void LinkWorker::AbortSignaledEvents()
{
    {
        std::lock_guard guard(m_commandLock);
        m_pending = false;
        m_eventSet = true;
        // Under the lock: the worker clears the wake-up under the same lock when it takes a
        // command, so a wake-up is never lost and never leaks into the next command.
        m_device.Wake();
    }
    m_commandEvent.notify_one();
}

void LinkWorker::Terminate()
{
    {
        std::lock_guard guard(m_commandLock);
        m_terminated = true;
        if (m_idleWaiting)
            m_device.Wake();
    }
    m_commandEvent.notify_one();
}

std::string LinkWorker::GetWriteFrame() const
{
    std::lock_guard guard(m_frameLock);
    return m_writeFrame;
}

std::string LinkWorker::GetReadFrame() const
{
    std::lock_guard guard(m_frameLock);
    return m_readFrame;
}

void LinkWorker::SetWriteFrame(std::string_view text)
{
    std::lock_guard guard(m_frameLock);
    m_writeFrame.assign(text);
}

void LinkWorker::SetReadFrame(std::string_view text)
{
    std::lock_guard guard(m_frameLock);
    m_readFrame.assign(text);
}

void LinkWorker::NotifyStatus(int code, int param, std::string frame, std::int32_t responseMs)
{
    FlushWireRun();
    Post(LinkNotification{code, param, m_runningCommand, std::move(frame), responseMs});
}

void LinkWorker::NotifyStatus(int code, int param)
{
    FlushWireRun();
    Post(LinkNotification{code, param, m_runningCommand, {}});
}

void LinkWorker::Post(LinkNotification notification)
{
    m_bridge.Post(notification);
}

void LinkWorker::ReportWire(TWireKind kind, std::string_view bytes)
{
    const int code = WireNotificationCode();
    if (code < 0 || bytes.empty())
        return;
    if (kind != TWireKind::Noise && kind != TWireKind::Late) {
        FlushWireRun();
        Post(LinkNotification{code, static_cast<int>(kind), m_runningCommand, std::string(bytes)});
        return;
    }
    if (!m_wireRun.empty() && m_runKind != kind)
        FlushWireRun();
    m_runKind = kind;
    while (!bytes.empty()) {
        const std::size_t room = kWireRunLimit - m_wireRun.size();
        const std::size_t take = std::min(room, bytes.size());
        m_wireRun.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (m_wireRun.size() == kWireRunLimit)
            FlushWireRun();
    }
}

void LinkWorker::FlushWireRun()
{
    if (m_wireRun.empty())
        return;
    std::string run;
    run.swap(m_wireRun);
    Post(LinkNotification{WireNotificationCode(), static_cast<int>(m_runKind), m_runningCommand,
                          std::move(run)});
}

std::int32_t LinkWorker::ResponseMs(std::chrono::steady_clock::time_point answerAt) const
{
    using namespace std::chrono;
    const auto elapsed = duration_cast<milliseconds>(answerAt - m_sentAt).count();
    return static_cast<std::int32_t>(std::clamp<long long>(elapsed, 0, INT32_MAX));
}

std::chrono::milliseconds LinkWorker::UnseenLineTime(std::size_t count) const
{
    using namespace std::chrono;
    if (m_device.HasWire())
        return milliseconds::zero();
    return ceil<milliseconds>(m_device.WireTime(count));
}

SerialIo LinkWorker::WatchIdleInput()
{
    std::size_t received = 0;
    const SerialIo io = m_device.Read(m_idleBuffer.data(), m_idleBuffer.size(), received,
                                      m_wireRun.empty() ? WaitForever : IdleRunSilence);
    if (io == SerialIo::Done)
        ReportWire(TWireKind::Late,
                   std::string_view(reinterpret_cast<const char*>(m_idleBuffer.data()), received));
    else
        FlushWireRun();
    return io;
}

void LinkWorker::DrainInput()
{
    if (WireNotificationCode() < 0 || !m_device.IsOpen())
        return;
    // Straight from the descriptor (it is non-blocking): a wake-up that ended the exchange
    // must not keep these bytes from the log. Bounded, so a flooding printer cannot hold the
    // worker here.
    for (int chunk = 0; chunk < 64; ++chunk) {
        const ssize_t n = ::read(m_device.Handle(), m_idleBuffer.data(), m_idleBuffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        ReportWire(TWireKind::Late,
                   std::string_view(reinterpret_cast<const char*>(m_idleBuffer.data()),
                                    static_cast<std::size_t>(n)));
    }
    FlushWireRun();
}

bool LinkWorker::WriteComm(const void* bytes, std::size_t count, std::chrono::milliseconds timeout)
{
    const SerialIo result = m_device.Write(bytes, count, timeout);
    if (result != SerialIo::Done)
        m_outputUnfinished = true;
    return result == SerialIo::Done;
}

bool LinkWorker::SendComm(const void* bytes, std::size_t count, std::chrono::milliseconds timeout)
{
    const SerialIo result = m_device.Send(bytes, count, timeout);
    if (result != SerialIo::Done)
        m_outputUnfinished = true;
    return result == SerialIo::Done;
}

void LinkWorker::Execute()
{
    std::string frame;
    bool watchIdle = true;
    for (;;) {
        bool run = false;
        {
            std::unique_lock lock(m_commandLock);
            while (!m_eventSet && !m_terminated) {
                if (!watchIdle || WireNotificationCode() < 0) {
                    m_commandEvent.wait(lock);
                    continue;
                }
                m_idleWaiting = true;
                lock.unlock();
                const SerialIo io = WatchIdleInput();
                lock.lock();
                m_idleWaiting = false;
                if (io == SerialIo::Woken && !m_eventSet && !m_terminated)
                    m_device.ClearWake(); // left over from a cycle that has already run
                else if (io == SerialIo::Failed)
                    watchIdle = false; // a port that hangs up: sleep until the next command
            }
            if (m_terminated)
                break;
            m_eventSet = false;
            run = m_pending;
            if (run) {
                frame = m_sendBuffer;
                m_runningCommand = m_lastCommand;
            }
            m_device.ClearWake();
        }
        FlushWireRun();
        m_outputUnfinished = false;
        if (run) {
            DrainInput();
            m_device.Purge(SerialDevice::PurgeInput);
            RunCommand(frame);
            std::lock_guard guard(m_commandLock);
            // A command handed over meanwhile (after an abort) keeps its pending flag.
            if (m_lastCommand == m_runningCommand)
                m_pending = false;
        }
        FlushWireRun();
        watchIdle = true;
        // What the printer sent after the exchange is dropped. Output is dropped only when a
        // write did not finish: a finished write (the ACK that closes an exchange) may still
        // be on its way out of a slow line, and purging it would cut it off. A link that
        // reports wire events takes the input off the port instead, so the log shows it.
        if (WireNotificationCode() >= 0) {
            DrainInput();
            if (m_outputUnfinished)
                m_device.Purge(SerialDevice::PurgeOutput);
        } else {
            m_device.Purge(m_outputUnfinished ? SerialDevice::PurgeBoth : SerialDevice::PurgeInput);
        }
        ResetInternalState();
    }
}

} // namespace tallyhost
