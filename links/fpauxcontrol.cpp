#include "links/fpauxcontrol.h"

#include "links/devicetable.h"
#include "links/fcommthread.h"

namespace tallyhost {

namespace {

constexpr int AuxBaud = 9600;

QByteArray OneByte(std::uint8_t byte)
{
    return QByteArray(1, static_cast<char>(byte));
}

QByteArray ToBytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TFPAuxControl::TFPAuxControl(QObject* parent) : QObject(parent)
{
    m_bridge.SetHandler([this](const LinkNotification& n) { HandleNotification(n); });
}

TFPAuxControl::~TFPAuxControl()
{
    if (m_state != FEFP_S_Close)
        Shutdown();
}

void TFPAuxControl::SetCommPort(TFCommPort port)
{
    if (m_state == FEFP_S_Close)
        m_commPort = port;
}

void TFPAuxControl::SetDevicePath(const std::string& path)
{
    if (m_state == FEFP_S_Close)
        m_devicePath = path;
}

bool TFPAuxControl::OpenPort()
{
    if (m_state != FEFP_S_Close) {
        m_lastError = FEFP_E_ComAlreadyOpen;
        return false;
    }
    const std::string path = m_devicePath.empty() ? ComDevicePath(static_cast<int>(m_commPort))
                                                  : ResolveDeviceName(m_devicePath);
    m_openedPath = path;
    m_openErrorText.clear();
    switch (m_device.Open(path, LineSettings(), &m_openErrorText)) {
    case SerialOpenError::None:
        break;
    case SerialOpenError::NoSuchDevice:
        m_lastError = FEFP_E_InvalidCom;
        return false;
    case SerialOpenError::InUse:
        m_lastError = FEFP_E_ComInUse;
        return false;
    }

    m_thread = std::make_unique<TFCommThread>(m_device, m_bridge, m_timeOut);
    m_frameBuffer.clear();
    m_command = 0;
    if (!m_thread->Start()) {
        m_thread.reset();
        m_device.Close();
        m_openErrorText = "the link's worker thread could not be started";
        m_lastError = FEFP_E_BadInitialization;
        return false;
    }
    m_state = FEFP_S_Idle;
    m_lastError = FEFP_Success;
    emit OnOpen(this);
    return true;
}

SerialLineSettings TFPAuxControl::LineSettings()
{
    // DTR and RTS raised, and no flow control at all: the fiscal port's cable need not carry
    // DSR, and a printer that leaves it low must still get its commands.
    SerialLineSettings line;
    line.Baud = AuxBaud;
    line.Dtr = true;
    line.Rts = true;
    line.DsrFlow = false;
    return line;
}

bool TFPAuxControl::PortLost(std::string* reason)
{
    return m_state != FEFP_S_Close && m_device.IsLost(reason);
}

void TFPAuxControl::Shutdown()
{
    // Pseudo-terminals and some adapters have no modem lines: a refusal is no failure here.
    m_device.SetModemLines(false, false);
    // An exchange in progress is aborted in both directions. An idle link may still have the
    // ACK of the last answer frame leaving the port: dropping it would leave the printer
    // without its acknowledgement, so only received bytes are discarded then.
    m_device.Purge(m_state == FEFP_S_Busy ? SerialDevice::PurgeBoth : SerialDevice::PurgeInput);
    m_thread->Terminate();
    m_thread->AbortSignaledEvents();
    m_thread.reset(); // waits for the worker to leave its exchange
    // What the worker posted on its way out belongs to a port that no longer exists.
    m_bridge.DropPending();
    m_device.Close();
    m_state = FEFP_S_Close;
}

bool TFPAuxControl::ClosePort()
{
    if (m_state == FEFP_S_Close) {
        m_lastError = FEFP_E_ComAlreadyClose;
        return false;
    }
    Shutdown();
    m_lastError = FEFP_Success;
    emit OnClose(this);
    return true;
}

void TFPAuxControl::Purge()
{
    if (m_state != FEFP_S_Close) {
        m_device.Purge(SerialDevice::PurgeBoth);
        m_thread->AbortSignaledEvents();
        m_state = FEFP_S_Idle;
    }
    m_frameBuffer.clear();
    m_lastError = FEFP_Success;
}

bool TFPAuxControl::SendData(std::string_view text)
{
    if (m_state != FEFP_S_Idle) {
        m_lastError = m_state == FEFP_S_Busy ? FEFP_E_OperationInProgress : FEFP_E_ComClose;
        return false;
    }
    if (!auxframe::BuildFrame(text, m_frameBuffer)) {
        m_lastError = FEFP_E_MaxDataLengthReached;
        return false;
    }
    m_command = m_thread->StartCommand(m_frameBuffer);
    m_thread->SignalStartCommand();
    m_frameBuffer.clear();
    m_state = FEFP_S_Busy;
    m_lastError = FEFP_Success;
    return true;
}

void TFPAuxControl::EndCommand()
{
    m_thread->SignalEndCommand();
    m_state = FEFP_S_Idle;
}

void TFPAuxControl::HandleNotification(const LinkNotification& n)
{
    if (!m_thread || !m_device.IsOpen())
        return;
    if (n.Code == FPN_WireEvent) {
        emit OnWireEvent(this, n.Param, ToBytes(n.Frame));
        return;
    }
    if (n.Command != m_command) {
        HandleLateNotification(n);
        return;
    }
    switch (n.Code) {
    case FPN_AckReceived:
        m_lastResponseMs = n.ResponseMs;
        m_answer.clear();
        EndCommand();
        emit OnAck(this);
        break;
    case FPN_NackReceived:
        m_lastError = FEFP_E_NackReceived;
        emit OnNack(this);
        break;
    case FPN_FrameWritten:
        emit OnWrite(this, ToBytes(n.Frame));
        break;
    case FPN_AckSent:
        emit OnWrite(this, OneByte(auxframe::ACK));
        break;
    case FPN_NackSent:
        emit OnWrite(this, OneByte(auxframe::NAK));
        break;
    case FPN_WriteError:
        EndCommand();
        m_lastError = FEFP_E_WriteError;
        emit OnError(this);
        break;
    case FPN_AnswerFrame: {
        const bool isFinal = n.Param != 0;
        const QByteArray frame = ToBytes(n.Frame);
        m_lastResponseMs = isFinal ? n.ResponseMs : -1;
        emit OnRead(this, frame);
        if (!m_thread)
            break; // closed by an OnRead handler
        m_answer = auxframe::AnswerData(n.Frame);
        emit OnAnswer(this, isFinal);
        // A handler may have purged or closed the link meanwhile; only a command that is
        // still this one and still running ends here.
        if (isFinal && m_thread && m_state == FEFP_S_Busy && n.Command == m_command)
            EndCommand();
        break;
    }
    case FPN_NoAnswer:
        EndCommand();
        if (m_lastError != FEFP_E_NackReceived)
            m_lastError = FEFP_E_ReadTimeOut;
        emit OnError(this);
        break;
    default:
        break;
    }
}

void TFPAuxControl::HandleLateNotification(const LinkNotification& n)
{
    // A notification of a command that was purged and followed by a new one. What went over
    // the wire is still reported so the traffic log stays complete; everything that would end,
    // fail or answer a command is dropped, because it would be taken for the new command's.
    switch (n.Code) {
    case FPN_FrameWritten:
        emit OnWrite(this, ToBytes(n.Frame));
        break;
    case FPN_AckSent:
        emit OnWrite(this, OneByte(auxframe::ACK));
        break;
    case FPN_NackSent:
        emit OnWrite(this, OneByte(auxframe::NAK));
        break;
    case FPN_AnswerFrame:
        m_lastResponseMs = -1; // no command of ours is waiting for it
        emit OnRead(this, ToBytes(n.Frame));
        break;
    default:
        break;
    }
}

} // namespace tallyhost
