#include "links/linkworker.h"

#include <system_error>

namespace tallyhost {

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

void LinkWorker::NotifyStatus(int code, int param, std::string frame)
{
    m_bridge.Post(LinkNotification{code, param, m_runningCommand, std::move(frame)});
}

void LinkWorker::NotifyStatus(int code, int param)
{
    m_bridge.Post(LinkNotification{code, param, m_runningCommand, {}});
}

bool LinkWorker::WriteComm(const void* bytes, std::size_t count, std::chrono::milliseconds timeout)
{
    const SerialIo result = m_device.Write(bytes, count, timeout);
    if (result != SerialIo::Done)
        m_outputUnfinished = true;
    return result == SerialIo::Done;
}

void LinkWorker::Execute()
{
    std::string frame;
    for (;;) {
        bool run = false;
        {
            std::unique_lock lock(m_commandLock);
            m_commandEvent.wait(lock, [this] { return m_eventSet || m_terminated; });
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
        m_outputUnfinished = false;
        if (run) {
            m_device.Purge(SerialDevice::PurgeInput);
            RunCommand(frame);
            std::lock_guard guard(m_commandLock);
            // A command handed over meanwhile (after an abort) keeps its pending flag.
            if (m_lastCommand == m_runningCommand)
                m_pending = false;
        }
        // What the printer sent after the exchange is dropped. Output is dropped only when a
        // write did not finish: a finished write (the ACK that closes an exchange) may still
        // be on its way out of a slow line, and purging it would cut it off.
        m_device.Purge(m_outputUnfinished ? SerialDevice::PurgeBoth : SerialDevice::PurgeInput);
        ResetInternalState();
    }
}

} // namespace tallyhost
