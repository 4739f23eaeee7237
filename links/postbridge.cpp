#include "links/postbridge.h"

#include <QCoreApplication>
#include <QEvent>

namespace tallyhost {

namespace {

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
    QCoreApplication::postEvent(this, new NotificationEvent(notification));
}

void PostBridge::DropPending()
{
    QCoreApplication::removePostedEvents(this, NotificationEventType());
}

bool PostBridge::event(QEvent* event)
{
    if (event->type() == NotificationEventType()) {
        const LinkNotification notification = static_cast<NotificationEvent*>(event)->Notification;
        if (m_handler)
            m_handler(notification);
        return true;
    }
    return QObject::event(event);
}

} // namespace tallyhost
