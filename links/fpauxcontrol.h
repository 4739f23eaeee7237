#pragma once

#include "links/auxframe.h"
#include "links/postbridge.h"
#include "links/serialdevice.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tallyhost {

class TFCommThread;

// The auxiliary (fiscal, DGI) link: the printer's second serial channel, which carries one
// text per command in a simple frame (STX, data, ETX, checksum) and answers with ACK alone or
// with one or more answer frames, the last one marked by a final code.
//
// Lives on the GUI thread. OpenPort starts a TFCommThread on the port; SendData frames the
// text and hands it to the worker; the worker's notifications come back through a PostBridge
// and are turned into the signals below, always on this object's thread and in the order the
// worker posted them. Operations never throw: they return false and set LastError; a failed
// exchange ends in OnError.
//
// The line runs at a fixed 9600 baud, 8N1, no flow control, with DTR and RTS raised while the
// port is open.
class TFPAuxControl : public QObject
{
    Q_OBJECT
public:
    explicit TFPAuxControl(QObject* parent = nullptr);
    // Closes an open port like ClosePort, without OnClose.
    ~TFPAuxControl() override;

    // Port to open; written only while closed (other writes are ignored).
    TFCommPort CommPort() const { return m_commPort; }
    void SetCommPort(TFCommPort port);
    // A device that overrides CommPort (a command-line tool, a test): a path, or "COM1".."COM4"
    // through the device table; empty = CommPort. Written only while closed.
    const std::string& DevicePath() const { return m_devicePath; }
    void SetDevicePath(const std::string& path);

    TFFiscalState State() const { return m_state; }
    TFErrorType LastError() const { return m_lastError; }
    // Data of the last answer frame, without STX, ETX and checksum; empty after an ACK.
    const std::string& Answer() const { return m_answer; }
    // Answer time-out per wait in milliseconds; 0 waits without limit. Read by the worker at
    // the start of each exchange.
    std::int32_t TimeOut() const { return m_timeOut.load(); }
    void SetTimeOut(std::int32_t milliseconds) { m_timeOut.store(milliseconds); }
    // Milliseconds from the command frame having left the port to the first byte of its
    // answer (the first answer frame, or the ACK of a command answered by ACK alone): set
    // before every OnRead and OnAck, -1 for a frame that is not final.
    std::int32_t LastResponseMs() const { return m_lastResponseMs; }
    // The system's reason for the last refused OpenPort (for messages and logs).
    const std::string& OpenErrorText() const { return m_openErrorText; }
    // The device path the last OpenPort used.
    const std::string& OpenedPath() const { return m_openedPath; }

    // Whether the open port's device has gone away (unplugged, hung up), with the system's
    // reason. The command in progress, if any, ends as a failed exchange by itself; the owner
    // decides whether to close the port and open it again later. False while closed.
    bool PortLost(std::string* reason = nullptr);

    // How the fiscal port's line is set up: 9600 baud, DTR and RTS raised, no flow control.
    static SerialLineSettings LineSettings();

    bool OpenPort();
    bool ClosePort();
    // Drops the command in progress; the worker then reports it as unanswered (OnError).
    void Purge();
    // Frames `text` and hands it to the worker. A text that is exactly ENQ (0x05) goes out
    // alone; more than 256 bytes are refused.
    bool SendData(std::string_view text);

signals:
    void OnOpen(tallyhost::TFPAuxControl* Sender);
    void OnClose(tallyhost::TFPAuxControl* Sender);
    void OnAck(tallyhost::TFPAuxControl* Sender);
    void OnNack(tallyhost::TFPAuxControl* Sender);
    // Value: the frame as written, or the single ACK or NAK byte the link wrote.
    void OnWrite(tallyhost::TFPAuxControl* Sender, const QByteArray& Value);
    // Value: the answer frame as received.
    void OnRead(tallyhost::TFPAuxControl* Sender, const QByteArray& Value);
    // Answer is set; IsFinal tells whether this frame ends the answer. During a final answer
    // State is still FEFP_S_Busy; it turns idle right after the handlers return.
    void OnAnswer(tallyhost::TFPAuxControl* Sender, bool IsFinal);
    void OnError(tallyhost::TFPAuxControl* Sender);
    // Bytes the link set aside (Kind: a TWireKind): refused frames, noise, and whatever came
    // while no command was in progress. Raised whatever the state.
    void OnWireEvent(tallyhost::TFPAuxControl* Sender, int Kind, const QByteArray& Bytes);

private:
    void HandleNotification(const LinkNotification& notification);
    void HandleLateNotification(const LinkNotification& notification);
    void EndCommand();
    void Shutdown();

    TFCommPort m_commPort = FCom1;
    std::string m_devicePath;
    TFFiscalState m_state = FEFP_S_Close;
    TFErrorType m_lastError = FEFP_Success;
    std::string m_answer;
    std::int32_t m_lastResponseMs = -1;
    std::atomic<std::int32_t> m_timeOut{0};
    std::string m_openErrorText;
    std::string m_openedPath;
    std::string m_frameBuffer;
    // Number of the command in progress (or last handed over); notifications of an older,
    // purged command must not end a newer one.
    std::uint64_t m_command = 0;

    // Declared in this order so that the thread goes first, then the bridge, then the device.
    SerialDevice m_device;
    PostBridge m_bridge;
    std::unique_ptr<TFCommThread> m_thread;
};

} // namespace tallyhost
