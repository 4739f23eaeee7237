#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

namespace tallyhost {

// One link notification as a worker posts it. `Code` is the link's own notification number
// (FPN_...), `Param` its one parameter (0 where a link has none). `Command` is the number of
// the command the worker was running when it posted, so that a component can tell a late
// notification of a dropped command from one of the command in progress.
struct LinkNotification
{
    int Code = 0;
    int Param = 0;
    std::uint64_t Command = 0;
    // The frame the notification is about, for links whose printer may send the next frame
    // before this notification is handled (so "the last frame read" would already be another).
    std::string Frame;
    // Milliseconds from the command frame having left the port to this notification's answer
    // frame; -1 where it does not apply.
    std::int32_t ResponseMs = -1;
};

// Carries a link worker's notifications onto the thread that owns the bridge (the GUI thread,
// where the link component lives) through that thread's event queue.
//
// Post() may be called from any thread; the handler runs on the bridge's thread from its event
// loop, once per posted notification and in the order of posting. Notifications still queued
// when the bridge is destroyed are dropped, so a component that owns its bridge never sees a
// notification after its own destruction.
class PostBridge : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(const LinkNotification&)>;

    explicit PostBridge(QObject* parent = nullptr);
    ~PostBridge() override;

    // Set on the bridge's thread, before any worker posts.
    void SetHandler(Handler handler) { m_handler = std::move(handler); }

    // Thread-safe; never blocks on the receiving thread.
    void Post(const LinkNotification& notification);
    void Post(int code, int param = 0, std::uint64_t command = 0)
    {
        Post(LinkNotification{code, param, command, {}});
    }

    // Drops the notifications posted and not yet handled (bridge's thread only).
    void DropPending();

protected:
    bool event(QEvent* event) override;

private:
    Handler m_handler;
};

} // namespace tallyhost
