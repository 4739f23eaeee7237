#include "links/fphostcontrol.h"

#include "links/commthread.h"
#include "links/devicetable.h"
#include "links/hostframe.h"

#include <chrono>
#include <climits>
#include <random>

namespace tallyhost {

TFPHostControl::TFPHostControl(QObject* parent) : QObject(parent), m_bridge(new PostBridge(this))
{
    m_bridge->SetHandler([this](const LinkNotification& n) { HandleNotification(n); });
}

TFPHostControl::~TFPHostControl()
{
    if (m_state != EFP_S_Close) {
        m_device.Purge(PurgeScope());
        StopWorker();
        m_device.Close();
    }
}

void TFPHostControl::SetCommPort(TCommPort port)
{
    if (m_state == EFP_S_Close)
        m_commPort = port;
}

void TFPHostControl::SetBaudRate(TBaudRate rate)
{
    if (m_state == EFP_S_Close)
        m_baudRate = rate;
}

void TFPHostControl::SetDevicePath(std::string path)
{
    if (m_state == EFP_S_Close)
        m_devicePath = std::move(path);
}

void TFPHostControl::SetProtocolType(TProtocolType protocol)
{
    if (m_state == EFP_S_Busy || protocol == m_protocol)
        return;
    m_protocol = protocol;
    SetFirstSequenceNumber();
}

bool TFPHostControl::OpenPort()
{
    if (m_state != EFP_S_Close) {
        m_lastError = EFP_E_ComAlreadyOpen;
        return false;
    }
    m_openedPath =
        m_devicePath.empty() ? ComDevicePath(m_commPort) : ResolveDeviceName(m_devicePath);
    m_openErrorText.clear();
    switch (m_device.Open(m_openedPath, LineSettings(m_baudRate), &m_openErrorText)) {
    case SerialOpenError::None:
        break;
    case SerialOpenError::NoSuchDevice:
        m_lastError = EFP_E_InvalidCom;
        return false;
    case SerialOpenError::InUse:
        m_lastError = EFP_E_ComInUse;
        return false;
    }
    m_thread = std::make_unique<TCommThread>(m_device, m_baudRate, *m_bridge);
    if (!m_thread->Start()) {
        m_thread.reset();
        m_device.Close();
        m_lastError = EFP_E_BadInitialization;
        return false;
    }
    m_extraFields.clear();
    ClearCommand();
    SetFirstSequenceNumber();
    m_state = EFP_S_Idle;
    m_lastError = EFP_Success;
    emit OnOpen(this);
    return true;
}

SerialLineSettings TFPHostControl::LineSettings(TBaudRate rate)
{
    // DTR raised and RTS dropped, as the printers' host ports expect; the printer holds the
    // host's output with DSR while its input buffer is full.
    SerialLineSettings line;
    line.Baud = BaudRateValue(rate);
    line.Dtr = true;
    line.Rts = false;
    line.DsrFlow = true;
    return line;
}

bool TFPHostControl::ClosePort()
{
    if (m_state == EFP_S_Close) {
        m_lastError = EFP_E_ComAlreadyClose;
        return false;
    }
    m_device.Purge(PurgeScope());
    StopWorker();
    m_device.Close();
    m_bridge->DropPending();
    m_state = EFP_S_Close;
    m_lastError = EFP_Success;
    emit OnClose(this);
    return true;
}

bool TFPHostControl::PortLost(std::string* reason)
{
    return m_state != EFP_S_Close && m_device.IsLost(reason);
}

unsigned TFPHostControl::PurgeScope() const
{
    // A command in progress is aborted in both directions. An idle link has at most the ACK
    // that ended the last exchange still leaving a slow line: dropping it would leave the
    // printer without its acknowledgement, so only received bytes are discarded then.
    return m_state == EFP_S_Busy ? SerialDevice::PurgeBoth : SerialDevice::PurgeInput;
}

void TFPHostControl::StopWorker()
{
    if (!m_thread)
        return;
    m_thread->Terminate();
    m_thread->AbortSignaledEvents();
    m_thread.reset(); // waits for the worker to leave
}

void TFPHostControl::Purge()
{
    if (m_state != EFP_S_Close) {
        m_device.Purge(PurgeScope());
        m_thread->AbortSignaledEvents();
        m_state = EFP_S_Idle;
    }
    m_lastError = EFP_Success;
    m_extraFields.clear();
    ClearCommand();
}

void TFPHostControl::ClearCommand()
{
    m_frameBuffer.clear();
    m_dataLength = 0;
    m_fieldRefused = false;
}

bool TFPHostControl::AddDataField(std::string_view text)
{
    // Saturates rather than wraps: no pile of fields may ever pass for a short command.
    const auto room = static_cast<std::size_t>(INT32_MAX - m_dataLength);
    m_dataLength =
        text.size() > room ? INT32_MAX : m_dataLength + static_cast<std::int32_t>(text.size());
    if (!hostframe::AppendField(m_protocol, text, m_frameBuffer)) {
        // The field's bytes before the bad one stay in the buffer; the command as a whole is
        // refused by SendCommand until Purge, so a half field can never reach the printer.
        m_fieldRefused = true;
        m_lastError = EFP_E_InvalidDataInField;
        return false;
    }
    m_lastError = EFP_Success;
    return true;
}

bool TFPHostControl::SendCommand()
{
    m_extraFields.clear();
    if (m_state != EFP_S_Idle) {
        m_lastError = m_state == EFP_S_Busy ? EFP_E_OperationInProgress : EFP_E_ComClose;
        return false;
    }
    if (m_fieldRefused) {
        m_lastError = EFP_E_InvalidDataInField;
        return false;
    }
    if (m_dataLength > static_cast<std::int32_t>(hostframe::MaxDataLength)) {
        m_lastError = EFP_E_MaxDataLengthReached;
        return false;
    }
    // STX, sequence, fields without their last FS, ETX, four checksum digits. Only a great
    // many empty fields can outgrow the worker's send buffer; such a command is refused too.
    const std::size_t frameSize = m_frameBuffer.size() - (m_frameBuffer.empty() ? 0 : 1) + 7;
    if (frameSize > hostframe::BufferSize) {
        m_lastError = EFP_E_MaxDataLengthReached;
        return false;
    }
    const std::string frame = hostframe::BuildFrame(m_frameBuffer, GetNextSequenceNumber());
    m_command = m_thread->StartCommand(frame);
    m_thread->SignalStartCommand();
    ClearCommand();
    m_state = EFP_S_Busy;
    m_lastError = EFP_Success;
    return true;
}

std::string TFPHostControl::GetExtraField(std::int32_t index)
{
    if (index < 1 || index > ExtraFieldsCount()) {
        m_lastError = EFP_E_InvalidIndex;
        return {};
    }
    m_lastError = EFP_Success;
    return m_extraFields[static_cast<std::size_t>(index - 1)];
}

std::uint8_t TFPHostControl::GetNextSequenceNumber()
{
    m_sequence = hostframe::NextSequence(m_protocol, m_sequence);
    return m_sequence;
}

void TFPHostControl::SetFirstSequenceNumber()
{
    // Seeded from the clock so that a restarted host does not repeat the sequence byte of its
    // last command, which the printer would take for a repetition.
    std::minstd_rand random(static_cast<std::minstd_rand::result_type>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    m_sequence = hostframe::FirstSequence(m_protocol, static_cast<std::uint32_t>(random()));
}

std::string TFPHostControl::GetFrameCheckSum(std::string_view text)
{
    return hostframe::CheckSumText(text);
}

std::uint16_t TFPHostControl::FormatExtenFixedField(std::string_view text)
{
    return hostframe::FormatExtenFixedField(text);
}

void TFPHostControl::HandleNotification(const LinkNotification& notification)
{
    if (!m_device.IsOpen() || !m_thread)
        return;
    if (notification.Code == TCommThread::FPN_WireEvent) {
        emit OnWireEvent(this, notification.Param,
                         QByteArray(notification.Frame.data(),
                                    static_cast<qsizetype>(notification.Frame.size())));
        return;
    }
    auto bytes = [](const std::string& text) {
        return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    };
    // What crossed the wire (a frame written or read, an ACK or NAK sent) is always reported,
    // also for a command that Purge dropped, so that the traffic log stays complete; a frame
    // read for such a command gives no response time, since no command of ours waits for it.
    // Whatever would answer, fail or end a command is dropped for it: it would be taken for
    // the new command's.
    const bool current = notification.Command == m_command;
    switch (notification.Code) {
    case TCommThread::FPN_FrameWritten:
        emit OnWrite(this, bytes(notification.Frame));
        return;
    case TCommThread::FPN_AckSent:
        emit OnWrite(this, QByteArray(1, static_cast<char>(hostframe::ACK)));
        return;
    case TCommThread::FPN_NackSent:
        emit OnWrite(this, QByteArray(1, static_cast<char>(hostframe::NAK)));
        return;
    case TCommThread::FPN_FrameRead:
        m_lastResponseMs = current ? notification.ResponseMs : -1;
        emit OnRead(this, bytes(notification.Frame));
        return;
    default:
        break;
    }
    if (!current)
        return;
    switch (notification.Code) {
    case TCommThread::FPN_AckReceived:
        emit OnAck(this);
        break;
    case TCommThread::FPN_NackReceived:
        m_lastError = EFP_E_NackReceived;
        emit OnNack(this);
        break;
    case TCommThread::FPN_IntermediateAnswer:
        emit OnIntermediateAnswer(this);
        break;
    case TCommThread::FPN_FinalAnswer: {
        std::vector<std::string> fields;
        m_thread->GetFinalFrame(fields);
        hostframe::FinalAnswer answer = hostframe::ReadFinalAnswer(m_protocol, fields);
        if (answer.HasExtraFields)
            m_extraFields = std::move(answer.ExtraFields);
        m_thread->SignalEndCommand();
        m_printerStatus = static_cast<std::int16_t>(answer.PrinterStatus);
        m_fiscalStatus = static_cast<std::int16_t>(answer.FiscalStatus);
        m_returnCode = static_cast<std::int16_t>(answer.ReturnCode);
        m_state = EFP_S_Idle;
        emit OnFinalAnswer(this);
        break;
    }
    case TCommThread::FPN_WriteError:
        m_thread->SignalEndCommand();
        m_state = EFP_S_Idle;
        m_lastError = EFP_E_WriteError;
        emit OnError(this);
        break;
    case TCommThread::FPN_NoAnswer:
        m_thread->SignalEndCommand();
        m_state = EFP_S_Idle;
        if (m_lastError != EFP_E_NackReceived)
            m_lastError = EFP_E_ReadTimeOut;
        emit OnError(this);
        break;
    default:
        break;
    }
}

} // namespace tallyhost
