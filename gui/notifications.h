#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>

#include <utility>

// Window notifications from the main window to the log window and the terminal window.
//
// The main window turns every event of the two printer links into one of these and posts it
// (QCoreApplication::postEvent), so the link handlers return at once and the receiver works
// later on the GUI thread, in the order the notifications were posted. The numbers are fixed
// offsets from the start of the user event range, like private window messages.
//
// Receiving: a window overrides QObject::customEvent(QEvent*) and switches on event->type();
// every notification arrives as a TNotificationEvent. The terminal window handles the
// WM_TERM_* ones: it reads the answer (statuses, return code, extra fields, LastError,
// Answer) from the link components when it handles the notification.

inline constexpr int kWmUser = QEvent::User;

inline constexpr int WM_LOG_HOST_OPEN = kWmUser + 100;    // host port opened
inline constexpr int WM_LOG_HOST_CLOSE = kWmUser + 110;   // host port closed
inline constexpr int WM_LOG_HOST_WRITE = kWmUser + 120;   // host frame written (LastWrittenFrame)
inline constexpr int WM_LOG_HOST_READ = kWmUser + 130;    // host frame read (LastReadFrame)
inline constexpr int WM_LOG_ACK = kWmUser + 140;          // acknowledgement on either link
inline constexpr int WM_LOG_NACK = kWmUser + 150;         // negative acknowledgement on either link
inline constexpr int WM_LOG_INTERMEDIATE = kWmUser + 160; // host intermediate answer
inline constexpr int WM_TERM_HOST_ANSWER = kWmUser + 170; // host final answer available
inline constexpr int WM_TERM_HOST_ERROR = kWmUser + 175;  // host exchange failed (LastError)
inline constexpr int WM_TERM_HOST_CLOSE = kWmUser + 177;  // host port closed (ends an exchange)
inline constexpr int WM_LOG_SETTINGS = kWmUser + 180;     // preferences changed: reload colours
inline constexpr int WM_LOG_AUX_OPEN = kWmUser + 190;     // fiscal port opened
inline constexpr int WM_LOG_AUX_CLOSE = kWmUser + 200;    // fiscal port closed
inline constexpr int WM_LOG_AUX_WRITE = kWmUser + 210;    // fiscal data written (LastWrittenFrame)
inline constexpr int WM_LOG_AUX_READ = kWmUser + 220;     // fiscal data read (LastReadFrame)
inline constexpr int WM_TERM_AUX_ANSWER = kWmUser + 230;  // fiscal answer data, more to come
inline constexpr int WM_TERM_AUX_FINAL = kWmUser + 235;   // fiscal answer complete
inline constexpr int WM_TERM_AUX_ERROR = kWmUser + 240;   // fiscal exchange failed
inline constexpr int WM_TERM_AUX_CLOSE = kWmUser + 245;   // fiscal port closed (ends an exchange)
inline constexpr int WM_TERM_AUX_ACK = kWmUser + 250;     // fiscal acknowledgement: port alive
// Bytes a link set aside (refused, stale and intermediate frames, DC2, noise, late bytes).
// Param: the kind (core/logformat.h WireEvent) plus kWireFiscalLink for the fiscal link.
inline constexpr int WM_LOG_WIRE = kWmUser + 260;
inline constexpr int kWireFiscalLink = 0x100;
inline constexpr int WM_LOG_HOST_PORT = kWmUser + 300; // host port lost (text as frame)
inline constexpr int WM_LOG_AUX_PORT = kWmUser + 310;  // fiscal port lost (text as frame)

// A posted notification. The write and read notifications also carry the frame as it was
// when the link reported it: several frames can be reported before the log window gets to
// handle the first notification, and the main window's two slots only hold the latest one.
class TNotificationEvent : public QEvent
{
public:
    explicit TNotificationEvent(int notification) : QEvent(static_cast<QEvent::Type>(notification))
    {
    }
    TNotificationEvent(int notification, QByteArray frame)
        : QEvent(static_cast<QEvent::Type>(notification)), m_frame(std::move(frame)),
          m_hasFrame(true)
    {
    }

    TNotificationEvent(int notification, QByteArray frame, int param)
        : QEvent(static_cast<QEvent::Type>(notification)), m_frame(std::move(frame)),
          m_hasFrame(true), m_param(param)
    {
    }

    bool HasFrame() const { return m_hasFrame; }
    const QByteArray& Frame() const { return m_frame; }
    // WM_LOG_WIRE: the kind and link; WM_LOG_HOST_READ, WM_LOG_AUX_READ and a fiscal
    // WM_LOG_ACK: the response time in ms of a final answer, or -1.
    int Param() const { return m_param; }

private:
    QByteArray m_frame;
    bool m_hasFrame = false;
    int m_param = -1;
};

// Queues a notification for the receiver; a null receiver drops it.
inline void PostNotification(QObject* receiver, int notification)
{
    if (receiver)
        QCoreApplication::postEvent(receiver, new TNotificationEvent(notification));
}

inline void PostNotification(QObject* receiver, int notification, const QByteArray& frame)
{
    if (receiver)
        QCoreApplication::postEvent(receiver, new TNotificationEvent(notification, frame));
}

inline void PostNotification(QObject* receiver, int notification, const QByteArray& frame,
                             int param)
{
    if (receiver)
        QCoreApplication::postEvent(receiver, new TNotificationEvent(notification, frame, param));
}
