#include "links/postbridge.h"

#include <QCoreApplication>
#include <QEvent>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace tallyhost {

namespace {

// Qt's event queue hands the event over under Qt's own lock, which ThreadSanitizer cannot see
// (Qt is not built with it). Without telling it that everything the worker wrote before
// posting happens before the handler reads it, every notification would be reported as a race
// and a real one would drown among them.
void HandOver([[maybe_unused]] QEvent* event)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(event);
#endif
}

void TakeOver([[maybe_unused]] QEvent* event)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(event);
#endif
}

// One event type for every bridge: registered once, the first time a bridge is made.
QEvent::Type NotificationEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class NotificationEvent : public QEvent
{
public:
    explicit NotificationEvent(const LinkNotification& notification)
        : QEvent(NotificationEventType()), Notification(notification)
    {
    }
    LinkNotification Notification;
};

} // namespace

PostBridge::PostBridge(QObject* parent) : QObject(parent)
{
    NotificationEventType();
}

PostBridge::~PostBridge() = default;

void PostBridge::Post(const LinkNotification& notification)
{
    // postEvent takes ownership and is thread-safe; events of one priority to one receiver
    // are delivered in posting order.
    auto* event = new NotificationEvent(notification);
    HandOver(event);
    QCoreApplication::postEvent(this, event);
}

void PostBridge::DropPending()
{
    QCoreApplication::removePostedEvents(this, NotificationEventType());
}

bool PostBridge::event(QEvent* event)
{
    TakeOver(event);
    if (event->type() == NotificationEventType()) {
        const LinkNotification notification = static_cast<NotificationEvent*>(event)->Notification;
        if (m_handler)
            m_handler(notification);
        return true;
    }
    return QObject::event(event);
}

} // namespace tallyhost
