#pragma once

#include "links/hosttypes.h"
#include "links/postbridge.h"
#include "links/serialdevice.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhost {

class TCommThread;

// The host link: the component through which the program talks to a fiscal printer over the
// host port. It lives on the GUI thread, where all its operations, properties and events
// belong.
//
// A client sets CommPort, BaudRate and ProtocolType, opens the port, adds the fields of one
// command (AddDataField), sends it (SendCommand) and learns the outcome from the events:
// OnWrite, OnAck, OnNack, OnIntermediateAnswer and OnRead along the way, then OnFinalAnswer
// (read PrinterStatus, FiscalStatus, ReturnCode and the extra fields) or OnError (read
// LastError). After a refused AddDataField or SendCommand the client calls Purge before
// building the next command.
//
// Operations never throw: they return whether they succeeded and set LastError. The worker
// (TCommThread) posts its notifications through a PostBridge owned by this component; each is
// turned into its event here, in posting order. A notification that belongs to a command
// dropped by Purge is ignored once the next command has been handed over, so a late failure
// of the old command can never end the new one.
class TFPHostControl : public QObject
{
    Q_OBJECT
public:
    explicit TFPHostControl(QObject* parent = nullptr);
    // While open: purges, stops the worker and closes the device, without OnClose.
    ~TFPHostControl() override;

    // Properties. CommPort, BaudRate and DevicePath change only while closed; ProtocolType
    // not while busy, and a new value reseeds the sequence byte.
    TCommPort CommPort() const { return m_commPort; }
    void SetCommPort(TCommPort port);
    TBaudRate BaudRate() const { return m_baudRate; }
    void SetBaudRate(TBaudRate rate);
    TProtocolType ProtocolType() const { return m_protocol; }
    void SetProtocolType(TProtocolType protocol);
    // A device to open instead of CommPort's: a path, or "COM1".."COM4". Empty = CommPort.
    const std::string& DevicePath() const { return m_devicePath; }
    void SetDevicePath(std::string path);

    TFiscalState State() const { return m_state; }
    TErrorType LastError() const { return m_lastError; }
    std::int16_t FiscalStatus() const { return m_fiscalStatus; }
    std::int16_t PrinterStatus() const { return m_printerStatus; }
    std::int16_t ReturnCode() const { return m_returnCode; }
    std::int32_t ExtraFieldsCount() const
    {
        return static_cast<std::int32_t>(m_extraFields.size());
    }

    // Milliseconds from the last command frame having left the port to the first byte of its
    // final answer frame (the ACK and keep-alives before it are not the answer); -1 before
    // the first answer. Set before OnRead of the final frame.
    std::int32_t LastResponseMs() const { return m_lastResponseMs; }

    // The device path the last OpenPort used and the system's reason when it failed.
    const std::string& OpenedPath() const { return m_openedPath; }
    const std::string& OpenErrorText() const { return m_openErrorText; }

    // Whether the open port's device has gone away (unplugged, hung up), with the system's
    // reason. The command in progress, if any, ends as a failed exchange by itself; the owner
    // decides whether to close the port and open it again later. False while closed.
    bool PortLost(std::string* reason = nullptr);

    bool OpenPort();
    bool ClosePort();
    void Purge();
    bool AddDataField(std::string_view text);
    bool SendCommand();
    // Extra field `index` (1-based) of the last final answer; empty with EFP_E_InvalidIndex
    // outside 1..ExtraFieldsCount.
    std::string GetExtraField(std::int32_t index);

    // How the host port's line is set up at a line speed: DTR raised, RTS dropped, output
    // held while the printer keeps DSR low.
    static SerialLineSettings LineSettings(TBaudRate rate);

    // Internals, open for tests and tools.
    std::uint8_t GetNextSequenceNumber();
    void SetFirstSequenceNumber();
    static std::string GetFrameCheckSum(std::string_view text);
    static std::uint16_t FormatExtenFixedField(std::string_view text);

signals:
    void OnOpen(tallyhost::TFPHostControl* Sender);
    void OnClose(tallyhost::TFPHostControl* Sender);
    void OnAck(tallyhost::TFPHostControl* Sender);
    void OnNack(tallyhost::TFPHostControl* Sender);
    void OnIntermediateAnswer(tallyhost::TFPHostControl* Sender);
    void OnFinalAnswer(tallyhost::TFPHostControl* Sender);
    void OnError(tallyhost::TFPHostControl* Sender);
    // The command frame as written, or the one byte ACK (0x06) or NAK (0x15) the host sent.
    void OnWrite(tallyhost::TFPHostControl* Sender, const QByteArray& Value);
    // The final answer frame as received.
    void OnRead(tallyhost::TFPHostControl* Sender, const QByteArray& Value);
    // Bytes the link set aside (Kind: a TWireKind): refused, stale and intermediate frames,
    // DC2, noise, and whatever came while no command was in progress. Raised whatever the
    // state, since these are a record of the wire and not part of any command's outcome.
    void OnWireEvent(tallyhost::TFPHostControl* Sender, int Kind, const QByteArray& Bytes);

private:
    void HandleNotification(const LinkNotification& notification);
    void StopWorker();
    unsigned PurgeScope() const;
    void ClearCommand();

    TCommPort m_commPort = Com1;
    TBaudRate m_baudRate = br1200;
    TProtocolType m_protocol = protocol_Compatible;
    std::string m_devicePath;
    TFiscalState m_state = EFP_S_Close;
    TErrorType m_lastError = EFP_Success;
    std::int16_t m_fiscalStatus = 0;
    std::int16_t m_printerStatus = 0;
    std::int16_t m_returnCode = 0;
    std::int32_t m_lastResponseMs = -1;

    std::string m_frameBuffer; // fields added so far, encoded, each followed by FS
    std::int32_t m_dataLength = 0;
    bool m_fieldRefused = false; // a field of the command being built was refused
    std::vector<std::string> m_extraFields;
    std::uint8_t m_sequence = 0;
    std::uint64_t m_command = 0; // number of the command last handed to the worker

    std::string m_openedPath;
    std::string m_openErrorText;
    SerialDevice m_device;
    PostBridge* m_bridge = nullptr; // child
    std::unique_ptr<TCommThread> m_thread;
};

} // namespace tallyhost
