// The main window's side of the two printer links: opening, closing and resetting the ports
// from the settings, the port panels of the status bar and the fiscal button, and the routing
// of every link event to the log window or the terminal window as a posted notification.
//
// The handlers only store the frame text and post; the receivers do their work later, on the
// same thread, in the order of posting. Link events while no terminal file is open are
// dropped: there is no window to tell.

#include "app/artwork.h"
#include "app/formmain.h"
#include "app/logwindow.h"
#include "core/logformat.h"
#include "gui/messagebox.h"
#include "gui/notifications.h"
#include "links/devicetable.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "terminal/terminalwindow.h"

#include <QTimer>
#include <QToolButton>

#include <algorithm>

using tallyhost::TFPAuxControl;
using tallyhost::TFPHostControl;

namespace {

// What the operator needs to mend a port that did not open: the link's reason names the device
// and the system's error ("/dev/ttyUSB0: No such file or directory").
QString OpenFailureText(const std::string& device, const std::string& reason)
{
    return QString::fromLocal8Bit(reason.empty() ? device : reason);
}

// The log window's view of the program: FormMain's settings, links and frame slots, read at
// each call so that it always serves the main window that exists now.
class TMainWindowLogSource final : public TLogSource
{
public:
    TLogSettings LogSettings() const override
    {
        if (!FormMain)
            return {};
        const TSettings& s = FormMain->Settings;
        TLogSettings log;
        log.HostColor = s.HostColor;
        log.FPColor = s.FPColor;
        log.DGIColor = s.DGIColor;
        log.LowLevel = s.LowLevel;
        log.BadFrameColor = s.BadFrameColor;
        log.StaleFrameColor = s.StaleFrameColor;
        log.NoiseColor = s.NoiseColor;
        log.KeepAliveColor = s.KeepAliveColor;
        log.LateColor = s.LateColor;
        log.LogEveryByte = s.LogEveryByte;
        log.TimeColumn = s.LogTimeColumn;
        log.TextColumn = s.LogTextColumn;
        log.ResponseTime = s.LogResponseTime;
        log.ViewLines = static_cast<int>(std::min<std::uint32_t>(s.LogViewLines, 100'000'000));
        return log;
    }
    void StoreViewColumns(bool timeColumn, bool textColumn, bool responseTime) override
    {
        if (!FormMain)
            return;
        FormMain->Settings.LogTimeColumn = timeColumn;
        FormMain->Settings.LogTextColumn = textColumn;
        FormMain->Settings.LogResponseTime = responseTime;
    }
    int HostCommPort() const override
    {
        return FormMain && FormMain->VardoFPHostControl1 ? FormMain->VardoFPHostControl1->CommPort()
                                                         : 0;
    }
    int HostBaudRate() const override
    {
        return FormMain && FormMain->VardoFPHostControl1 ? FormMain->VardoFPHostControl1->BaudRate()
                                                         : 0;
    }
    int AuxCommPort() const override
    {
        return FormMain && FormMain->FPAuxControl1 ? FormMain->FPAuxControl1->CommPort() : 0;
    }
    QByteArray LastWrittenFrame() const override
    {
        return FormMain ? FormMain->LastWrittenFrame() : QByteArray();
    }
    QByteArray LastReadFrame() const override
    {
        return FormMain ? FormMain->LastReadFrame() : QByteArray();
    }
};

} // namespace

TLogSource& MainWindowLogSource()
{
    static TMainWindowLogSource source;
    return source;
}

// ---- the links and their ports ----

void TFormMain::CreateLinks()
{
    if (VardoFPHostControl1)
        return;
    VardoFPHostControl1 = new TFPHostControl(this);
    VardoFPHostControl1->setObjectName(QStringLiteral("VardoFPHostControl1"));
    FPAuxControl1 = new TFPAuxControl(this);
    FPAuxControl1->setObjectName(QStringLiteral("FPAuxControl1"));

    TFPHostControl* host = VardoFPHostControl1;
    connect(host, &TFPHostControl::OnOpen, this, &TFormMain::VardoFPHostControl1Open);
    connect(host, &TFPHostControl::OnClose, this, &TFormMain::VardoFPHostControl1Close);
    connect(host, &TFPHostControl::OnAck, this, &TFormMain::VardoFPHostControl1Ack);
    connect(host, &TFPHostControl::OnNack, this, &TFormMain::VardoFPHostControl1Nack);
    connect(host, &TFPHostControl::OnIntermediateAnswer, this,
            &TFormMain::VardoFPHostControl1IntermediateAnswer);
    connect(host, &TFPHostControl::OnFinalAnswer, this, &TFormMain::VardoFPHostControl1FinalAnswer);
    connect(host, &TFPHostControl::OnError, this, &TFormMain::VardoFPHostControl1Error);
    connect(host, &TFPHostControl::OnWrite, this, &TFormMain::VardoFPHostControl1Write);
    connect(host, &TFPHostControl::OnRead, this, &TFormMain::VardoFPHostControl1Read);

    TFPAuxControl* aux = FPAuxControl1;
    connect(aux, &TFPAuxControl::OnOpen, this, &TFormMain::FPAuxControl1Open);
    connect(aux, &TFPAuxControl::OnClose, this, &TFormMain::FPAuxControl1Close);
    connect(aux, &TFPAuxControl::OnAck, this, &TFormMain::FPAuxControl1Ack);
    connect(aux, &TFPAuxControl::OnNack, this, &TFormMain::FPAuxControl1Nack);
    connect(aux, &TFPAuxControl::OnAnswer, this, &TFormMain::FPAuxControl1Answer);
    connect(aux, &TFPAuxControl::OnError, this, &TFormMain::FPAuxControl1Error);
    connect(aux, &TFPAuxControl::OnWrite, this, &TFormMain::FPAuxControl1Write);
    connect(aux, &TFPAuxControl::OnRead, this, &TFormMain::FPAuxControl1Read);

    // What the links set aside goes to the log only; it never ends or answers a command.
    connect(host, &TFPHostControl::OnWireEvent, this,
            [](TFPHostControl*, int kind, const QByteArray& bytes) {
                if (FormChildLogWindow)
                    PostNotification(FormChildLogWindow, WM_LOG_WIRE, bytes, kind);
            });
    connect(aux, &TFPAuxControl::OnWireEvent, this,
            [](TFPAuxControl*, int kind, const QByteArray& bytes) {
                if (FormChildLogWindow)
                    PostNotification(FormChildLogWindow, WM_LOG_WIRE, bytes,
                                     kind | kWireFiscalLink);
            });
}

void TFormMain::StartLinks()
{
    CreateLinks();
    if (!m_portWatch) {
        // Two poll() calls a second while the ports are fine, one open() attempt a second
        // per lost port: nothing a machine notices.
        m_portWatch = new QTimer(this);
        m_portWatch->setObjectName(QStringLiteral("PortWatch"));
        m_portWatch->setInterval(PortWatchInterval);
        connect(m_portWatch, &QTimer::timeout, this, &TFormMain::WatchPorts);
        m_portWatch->start();
    }
    OpenHostPort(false);

    if (!Settings.DGIEnabled) {
        CloseFiscalPort();
        ShowFiscalButtonLook(false);
    } else {
        // DGIEnabled stays set even when the port fails: the next start tries again.
        ShowFiscalButtonLook(OpenFiscalPort());
    }
}

void TFormMain::OpenHostPort(bool closeFirst)
{
    TFPHostControl* host = VardoFPHostControl1;
    if (closeFirst && host->State() != tallyhost::EFP_S_Close)
        host->ClosePort();
    host->SetCommPort(static_cast<tallyhost::TCommPort>(Settings.HComm));
    host->SetBaudRate(static_cast<tallyhost::TBaudRate>(Settings.HBaud));
    // A lost port that fails to open again under the same name is still lost, and waits for
    // its device; a port the operator moved elsewhere starts afresh.
    const bool stillLost = m_hostLost && tallyhost::ComDevicePath(Settings.HComm) == m_hostLostPath;
    m_hostLost = false;
    m_hostOther = {};
    if (host->OpenPort()) {
        // Whatever the name leads to now is the port's device: OK in Preferences confirms it.
        m_hostIdentity = PortIdentity(host->OpenedPath());
        m_hostPortFailure.clear();
        Settings.HostPortOpen = true;
        SetPanelText(1, QStringLiteral("Ready"));
    } else {
        m_hostLost = stillLost;
        m_hostPortFailure = OpenFailureText(host->OpenedPath(), host->OpenErrorText());
        Settings.HostPortOpen = false;
        // Set before the box: the status bar is right while the operator reads it.
        SetPanelText(1, QStringLiteral("Error"));
        ShowErrorBox(
            this,
            QStringLiteral("Error when trying to open the Host port\n%1").arg(m_hostPortFailure));
    }
    ApplyProtocolType();
}

void TFormMain::ApplyProtocolType()
{
    if (VardoFPHostControl1)
        VardoFPHostControl1->SetProtocolType(
            static_cast<tallyhost::TProtocolType>(Settings.Protocol));
}

bool TFormMain::OpenFiscalPort()
{
    TFPAuxControl* aux = FPAuxControl1;
    if (aux->State() != tallyhost::FEFP_S_Close)
        aux->ClosePort();
    aux->SetCommPort(static_cast<tallyhost::TFCommPort>(Settings.DComm));
    aux->SetTimeOut(static_cast<std::int32_t>(qMin<std::uint32_t>(Settings.DTimeOut, INT32_MAX)));
    const bool stillLost =
        m_fiscalLost && tallyhost::ComDevicePath(Settings.DComm) == m_fiscalLostPath;
    m_fiscalLost = false;
    m_fiscalOther = {};
    if (aux->OpenPort()) {
        m_fiscalIdentity = PortIdentity(aux->OpenedPath());
        Settings.FiscalPortOpen = true;
        // A host port that failed to open is still the state of the program: commands of most
        // files go there.
        SetPanelText(1, Settings.HostPortOpen ? QStringLiteral("Ready") : QStringLiteral("Error"));
        return true;
    }
    m_fiscalLost = stillLost;
    Settings.FiscalPortOpen = false;
    SetPanelText(1, QStringLiteral("Error"));
    ShowErrorBox(this, QStringLiteral("Error when trying to open the Fiscal port\n%1")
                           .arg(OpenFailureText(tallyhost::ComDevicePath(Settings.DComm),
                                                aux->OpenErrorText())));
    return false;
}

void TFormMain::CloseFiscalPort()
{
    if (FPAuxControl1 && FPAuxControl1->State() != tallyhost::FEFP_S_Close)
        FPAuxControl1->ClosePort();
    Settings.FiscalPortOpen = false;
    // Turned off by the operator: a lost port stops waiting.
    m_fiscalLost = false;
    m_fiscalOther = {};
}

void TFormMain::ShowFiscalButtonLook(bool enabled)
{
    // The button is down while the port is disabled; its hint names what a click will do.
    const QString hint =
        enabled ? QStringLiteral("Disable Fiscal port") : QStringLiteral("Enable Fiscal port");
    ToolButtonFiscal->setChecked(!enabled);
    ToolButtonFiscal->setIcon(artwork::ToolIcon(enabled ? artwork::Glyph::FiscalEnabled
                                                        : artwork::Glyph::FiscalDisabled));
    ToolButtonFiscal->setToolTip(hint);
    ToolButtonFiscal->setStatusTip(hint);
}

void TFormMain::ToolButtonFiscalClick()
{
    // The operator's choice is the one stored, whatever this run started with.
    m_storedDGIEnabled.reset();
    if (ToolButtonFiscal->isChecked()) {
        Settings.DGIEnabled = false;
        ShowFiscalButtonLook(false);
        CloseFiscalPort();
        UpdatePortPanels();
        return;
    }
    Settings.DGIEnabled = true;
    if (!OpenFiscalPort()) {
        // Still disabled: back down, hint, image and port panels as they were.
        ToolButtonFiscal->setChecked(true);
        return;
    }
    ShowFiscalButtonLook(true);
    UpdatePortPanels();
}

void TFormMain::ReopenLinksAfterPreferences()
{
    OpenHostPort(true);
    // A fiscal port still waiting for its device keeps the enabled look: it is on, and one
    // click turns it off.
    if (Settings.FiscalPortOpen || m_fiscalLost)
        ShowFiscalButtonLook(OpenFiscalPort() || m_fiscalLost);
    if (TerminalFileOpen())
        PostNotification(FormChildLogWindow, WM_LOG_SETTINGS);
}

void TFormMain::UpdatePortPanels()
{
    // A lost port says so until it is back (or the operator opens another), and so does one
    // whose name leads to another device now.
    const auto lost = [](int port, const tallyhost::TDeviceIdentity& other) {
        return QStringLiteral("COM%1 %2")
            .arg(port + 1)
            .arg(other.Known ? QStringLiteral("other device") : QStringLiteral("lost"));
    };
    SetPanelText(2, m_hostLost ? lost(Settings.HComm, m_hostOther)
                               : QString::fromStdString(
                                     tallyhost::HostPortPanelText(Settings.HComm, Settings.HBaud)));
    SetPanelText(3, m_fiscalLost
                        ? lost(Settings.DComm, m_fiscalOther)
                        : QString::fromStdString(tallyhost::FiscalPortPanelText(
                              Settings.DGIEnabled, Settings.FiscalPortOpen, Settings.DComm)));
    // Every change of a port ends here: the terminal window's Send follows it.
    if (FormChildTerminalWindow)
        FormChildTerminalWindow->PortsChanged();
}

QString TFormMain::PortNotice() const
{
    QStringList notes;
    const auto note = [&notes](int port, const tallyhost::TDeviceIdentity& was,
                               const tallyhost::TDeviceIdentity& other) {
        if (other.Known)
            notes << QStringLiteral("COM%1 now leads to another device (%2), not the lost one "
                                    "(%3): OK opens it.")
                         .arg(port + 1)
                         .arg(QString::fromStdString(other.Describe()),
                              QString::fromStdString(was.Describe()));
    };
    if (m_hostLost)
        note(Settings.HComm, m_hostIdentity, m_hostOther);
    if (m_fiscalLost)
        note(Settings.DComm, m_fiscalIdentity, m_fiscalOther);
    return notes.join(u'\n');
}

// ---- lost and returning ports ----

void TFormMain::WatchPorts()
{
    if (m_shutDown || !VardoFPHostControl1)
        return;
    TFPHostControl* host = VardoFPHostControl1;
    TFPAuxControl* aux = FPAuxControl1;
    std::string reason;
    // A command in progress on a vanished device fails by itself within moments (its read
    // or write reports the hang-up), as a failed exchange of the terminal window; the port is
    // closed on the next tick, so that failure is never swallowed by the close.
    if (host->PortLost(&reason)) {
        if (host->State() != tallyhost::EFP_S_Busy || m_hostLostBusy)
            HostPortGone(reason);
        else
            m_hostLostBusy = true;
    } else if (m_hostLost && Settings.ReopenLostPorts &&
               LostDeviceIsBack(Settings.HComm, WM_LOG_HOST_PORT,
                                tallyhost::ComDevicePath(host->CommPort()), m_hostIdentity,
                                m_hostOther) &&
               host->OpenPort()) {
        // The name may have been re-pointed between the look and the open.
        if (!tallyhost::SameDevice(m_hostIdentity, PortIdentity(host->OpenedPath()))) {
            m_quietPortChange = true;
            host->ClosePort();
            m_quietPortChange = false;
            return;
        }
        m_hostLost = false;
        m_hostPortFailure.clear();
        Settings.HostPortOpen = true;
        ApplyProtocolType();
        SetPanelText(1, QStringLiteral("Ready"));
        UpdatePortPanels();
    }
    if (aux->PortLost(&reason)) {
        if (aux->State() != tallyhost::FEFP_S_Busy || m_fiscalLostBusy)
            FiscalPortGone(reason);
        else
            m_fiscalLostBusy = true;
    } else if (m_fiscalLost && Settings.ReopenLostPorts && Settings.DGIEnabled &&
               LostDeviceIsBack(Settings.DComm, WM_LOG_AUX_PORT,
                                tallyhost::ComDevicePath(aux->CommPort()), m_fiscalIdentity,
                                m_fiscalOther) &&
               aux->OpenPort()) {
        if (!tallyhost::SameDevice(m_fiscalIdentity, PortIdentity(aux->OpenedPath()))) {
            m_quietPortChange = true;
            aux->ClosePort();
            m_quietPortChange = false;
            return;
        }
        m_fiscalLost = false;
        Settings.FiscalPortOpen = true;
        SetPanelText(1, Settings.HostPortOpen ? QStringLiteral("Ready") : QStringLiteral("Error"));
        UpdatePortPanels();
    }
}

bool TFormMain::LostDeviceIsBack(int comIndex, int tag, const std::string& path,
                                 const tallyhost::TDeviceIdentity& was,
                                 tallyhost::TDeviceIdentity& other)
{
    const tallyhost::TDeviceIdentity now = PortIdentity(path);
    if (now.Known && tallyhost::SameDevice(was, now)) {
        other = {};
        return true;
    }
    if (!now.Known) {
        // The other device went away again: the port is plainly lost once more.
        if (other.Known) {
            other = {};
            UpdatePortPanels();
        }
        return false;
    }
    if (other.Known && tallyhost::SameDevice(other, now))
        return false; // told already
    other = now;
    const QString text =
        QStringLiteral("COM%1: another device at %2 (%3), not the one lost (%4); it is not "
                       "used until OK in Preferences")
            .arg(comIndex + 1)
            .arg(QString::fromLocal8Bit(path), QString::fromStdString(now.Describe()),
                 QString::fromStdString(was.Describe()));
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, tag, text.toLocal8Bit());
    UpdatePortPanels();
    return false;
}

void TFormMain::HostPortGone(const std::string& reason)
{
    TFPHostControl* host = VardoFPHostControl1;
    const QString text =
        QStringLiteral("COM%1 lost (%2: %3)")
            .arg(Settings.HComm + 1)
            .arg(QString::fromStdString(host->OpenedPath()), QString::fromStdString(reason));
    m_hostLost = true;
    m_hostLostBusy = false;
    m_hostLostPath = host->OpenedPath();
    m_hostOther = {};
    m_quietPortChange = true;
    host->ClosePort();
    m_quietPortChange = false;
    Settings.HostPortOpen = false;
    // What a command sent meanwhile is told.
    m_hostPortFailure = text;
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, WM_LOG_HOST_PORT, text.toLocal8Bit());
    SetPanelText(1, QStringLiteral("Error"));
    UpdatePortPanels();
}

void TFormMain::FiscalPortGone(const std::string& reason)
{
    TFPAuxControl* aux = FPAuxControl1;
    const QString text =
        QStringLiteral("COM%1 lost (%2: %3)")
            .arg(Settings.DComm + 1)
            .arg(QString::fromStdString(aux->OpenedPath()), QString::fromStdString(reason));
    m_fiscalLost = true;
    m_fiscalLostBusy = false;
    m_fiscalLostPath = aux->OpenedPath();
    m_fiscalOther = {};
    m_quietPortChange = true;
    aux->ClosePort();
    m_quietPortChange = false;
    Settings.FiscalPortOpen = false;
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, WM_LOG_AUX_PORT, text.toLocal8Bit());
    SetPanelText(1, QStringLiteral("Error"));
    UpdatePortPanels();
}

void TFormMain::MenuItemResetserialportsClick()
{
    VardoFPHostControl1->Purge();
    FPAuxControl1->Purge();
    // A late answer to the dropped command must not be taken for the next one's.
    if (FormChildTerminalWindow)
        FormChildTerminalWindow->ClearCommandInProgress();
    SetPanelText(1, QStringLiteral("Ready"));
}

// ---- event routing ----

void TFormMain::VardoFPHostControl1Open(TFPHostControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, WM_LOG_HOST_OPEN);
}

void TFormMain::VardoFPHostControl1Close(TFPHostControl*)
{
    if (!FormChildLogWindow)
        return;
    // A port closed for its loss has its own log line.
    if (!m_quietPortChange)
        PostNotification(FormChildLogWindow, WM_LOG_HOST_CLOSE);
    // A closed port drops the command in progress without a report of its own.
    PostNotification(FormChildTerminalWindow, WM_TERM_HOST_CLOSE);
}

void TFormMain::VardoFPHostControl1Ack(TFPHostControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, WM_LOG_ACK);
}

void TFormMain::VardoFPHostControl1Nack(TFPHostControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, WM_LOG_NACK);
}

void TFormMain::VardoFPHostControl1IntermediateAnswer(TFPHostControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, WM_LOG_INTERMEDIATE);
}

void TFormMain::VardoFPHostControl1FinalAnswer(TFPHostControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildTerminalWindow, WM_TERM_HOST_ANSWER);
}

void TFormMain::VardoFPHostControl1Error(TFPHostControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildTerminalWindow, WM_TERM_HOST_ERROR);
}

void TFormMain::VardoFPHostControl1Write(TFPHostControl*, const QByteArray& Value)
{
    if (!FormChildLogWindow)
        return;
    m_lastWrittenFrame = Value;
    // The frame also travels with the notification: the slot may be overwritten by the next
    // frame before the log window handles this one.
    PostNotification(FormChildLogWindow, WM_LOG_HOST_WRITE, m_lastWrittenFrame);
}

void TFormMain::VardoFPHostControl1Read(TFPHostControl* Sender, const QByteArray& Value)
{
    if (!FormChildLogWindow)
        return;
    m_lastReadFrame = Value;
    // The response time travels with the final answer for the log view.
    PostNotification(FormChildLogWindow, WM_LOG_HOST_READ, m_lastReadFrame,
                     Sender ? Sender->LastResponseMs() : -1);
}

void TFormMain::FPAuxControl1Open(TFPAuxControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, WM_LOG_AUX_OPEN);
}

void TFormMain::FPAuxControl1Close(TFPAuxControl*)
{
    if (!FormChildLogWindow)
        return;
    if (!m_quietPortChange)
        PostNotification(FormChildLogWindow, WM_LOG_AUX_CLOSE);
    PostNotification(FormChildTerminalWindow, WM_TERM_AUX_CLOSE);
}

void TFormMain::FPAuxControl1Ack(TFPAuxControl* Sender)
{
    if (!FormChildLogWindow)
        return;
    // A fiscal ACK is the whole answer of its command: its response time goes with it.
    PostNotification(FormChildLogWindow, WM_LOG_ACK, QByteArray(),
                     Sender ? Sender->LastResponseMs() : -1);
    PostNotification(FormChildTerminalWindow, WM_TERM_AUX_ACK);
}

void TFormMain::FPAuxControl1Nack(TFPAuxControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildLogWindow, WM_LOG_NACK);
}

void TFormMain::FPAuxControl1Answer(TFPAuxControl* Sender, bool IsFinal)
{
    // The answer goes with the notification: frames can follow each other faster than the
    // terminal window handles them, and the link only keeps the last one.
    if (FormChildLogWindow)
        PostNotification(FormChildTerminalWindow, IsFinal ? WM_TERM_AUX_FINAL : WM_TERM_AUX_ANSWER,
                         QByteArray::fromStdString(Sender->Answer()));
}

void TFormMain::FPAuxControl1Error(TFPAuxControl*)
{
    if (FormChildLogWindow)
        PostNotification(FormChildTerminalWindow, WM_TERM_AUX_ERROR);
}

void TFormMain::FPAuxControl1Write(TFPAuxControl*, const QByteArray& Value)
{
    if (!FormChildLogWindow)
        return;
    m_lastWrittenFrame = Value;
    PostNotification(FormChildLogWindow, WM_LOG_AUX_WRITE, m_lastWrittenFrame);
}

void TFormMain::FPAuxControl1Read(TFPAuxControl* Sender, const QByteArray& Value)
{
    if (!FormChildLogWindow)
        return;
    m_lastReadFrame = Value;
    // Only a final answer frame has a response time; the others carry -1.
    PostNotification(FormChildLogWindow, WM_LOG_AUX_READ, m_lastReadFrame,
                     Sender ? Sender->LastResponseMs() : -1);
}
