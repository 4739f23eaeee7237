// Sending, repeating and cancelling commands from the terminal window, and the end of a failed
// exchange.
//
// A host-mode command goes field by field to the host link (AddDataField, then SendCommand); a
// fiscal-mode command goes as one text, its field values joined without separators, to the
// auxiliary link (SendData). Values are converted by the core (ConvertField) exactly as the
// command-line tool converts them; hex escapes are expanded when a value is added.
//
// Before handing over a command the window waits until the link is idle. The wait is a local
// event loop, so notifications, Cancel and the other windows stay live and the wait costs no
// CPU. It ends when the link turns idle, when the port closes (then the hand-over is refused
// and the status reads "Error": a closed port would otherwise keep the window waiting
// forever), on Cancel, and when the window is destroyed.
//
// A command handed to a link is an exchange in progress until its answer, its error report,
// an acknowledgement, Cancel, "Reset serial ports" or the closing of its port ends it. A port
// that closes (Preferences, the fiscal button, a lost device) drops the command without a
// report of its own, so the main window tells the window and the exchange ends here as failed.

#include "terminal/terminalwindow.h"

#include "core/fieldconvert.h"
#include "core/repeattally.h"
#include "editors/fieldtypecombobox.h"
#include "gui/messagebox.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "terminal/commandtree.h"
#include "terminal/terminalhost.h"

#include <QDateEdit>
#include <QEventLoop>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>

#include <algorithm>
#include <utility>

using namespace tallyhost;

namespace {

// The text of an input as frame bytes; false when it holds a character that one byte cannot
// carry (the frames are 8-bit text), which would otherwise go out as "?".
bool TextToBytes(const QString& text, std::string& bytes)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    bytes = text.toLatin1().toStdString();
    return true;
}

} // namespace

QString TFormChildTerminalWindow::StatusWordText(TStatusWord word)
{
    static const char* const texts[] = {"Ready", "Error", "Sending ...", "TimeOut", "Abort"};
    return QString::fromLatin1(texts[word]);
}

void TFormChildTerminalWindow::SetStatusText(TStatusWord word)
{
    m_statusWord = word;
    if (m_host)
        m_host->SetPanelText(1, StatusWordText(word));
}

TFormChildTerminalWindow::TWaitEnd TFormChildTerminalWindow::WaitForIdleLink(bool fiscal)
{
    QPointer<TFormChildTerminalWindow> self(this);
    const unsigned cancels = m_cancelCount;
    for (;;) {
        // Read the state afresh each time: the link may have gone with the main window.
        QPointer<QObject> link =
            fiscal ? static_cast<QObject*>(AuxLink()) : static_cast<QObject*>(HostLink());
        if (!link)
            return TWaitEnd::Closed;
        if (fiscal) {
            const TFFiscalState state = static_cast<TFPAuxControl*>(link.data())->State();
            if (state == FEFP_S_Idle)
                return TWaitEnd::Idle;
            if (state == FEFP_S_Close)
                return TWaitEnd::Closed;
        } else {
            const TFiscalState state = static_cast<TFPHostControl*>(link.data())->State();
            if (state == EFP_S_Idle)
                return TWaitEnd::Idle;
            if (state == EFP_S_Close)
                return TWaitEnd::Closed;
        }
        if (m_cancelCount != cancels)
            return TWaitEnd::Cancelled;

        // Every way a busy link can end its command raises one of these; the state is read
        // again once the handler that raised it has returned.
        QEventLoop loop;
        auto quit = [&loop] { loop.quit(); };
        // A port closed and reopened before this loop runs again looks idle; the command the
        // wait was for went with the port all the same.
        bool closed = false;
        auto closeQuit = [&loop, &closed] {
            closed = true;
            loop.quit();
        };
        if (fiscal) {
            auto* aux = static_cast<TFPAuxControl*>(link.data());
            connect(aux, &TFPAuxControl::OnAnswer, &loop, quit);
            connect(aux, &TFPAuxControl::OnAck, &loop, quit);
            connect(aux, &TFPAuxControl::OnError, &loop, quit);
            connect(aux, &TFPAuxControl::OnClose, &loop, closeQuit);
            connect(aux, &TFPAuxControl::OnOpen, &loop, quit);
        } else {
            auto* host = static_cast<TFPHostControl*>(link.data());
            connect(host, &TFPHostControl::OnFinalAnswer, &loop, quit);
            connect(host, &TFPHostControl::OnError, &loop, quit);
            connect(host, &TFPHostControl::OnClose, &loop, closeQuit);
            connect(host, &TFPHostControl::OnOpen, &loop, quit);
        }
        connect(link.data(), &QObject::destroyed, &loop, quit);
        connect(this, &QObject::destroyed, &loop, quit);
        m_idleWaits.push_back(&loop);
        loop.exec();
        if (!self)
            return TWaitEnd::Gone; // nothing of the window may be touched any more
        std::erase(m_idleWaits, &loop);
        if (closed)
            return TWaitEnd::Closed;
    }
}

bool TFormChildTerminalWindow::AddFieldValue(const std::string& text)
{
    std::string expanded;
    if (!ExpandEscapes(text, expanded))
        return false;
    if (Definition.Mode == cmFiscal) {
        AuxFrameText += expanded;
        return true;
    }
    TFPHostControl* host = HostLink();
    return host && host->AddDataField(expanded);
}

void TFormChildTerminalWindow::ApplyHostProtocol()
{
    // The main window sets the file's protocol when a file is opened, but a busy link ignores
    // that write: a file opened during an exchange would otherwise have its commands built and
    // their answers read in the previous file's protocol. The link is idle here.
    TFPHostControl* host = HostLink();
    if (!m_host || !host)
        return;
    const auto protocol = static_cast<TProtocolType>(m_host->Protocol());
    if (host->ProtocolType() != protocol)
        host->SetProtocolType(protocol);
}

void TFormChildTerminalWindow::ReportClosedPort(bool fiscal)
{
    TreeViewCommand->setEnabled(true);
    SetStatusText(swError);
    if (fiscal) {
        ButtonSend->setEnabled(IsFiscalPortOpen());
        return;
    }
    TFPHostControl* host = HostLink();
    // Closed and opened again during the wait: nothing to explain but that nothing was sent.
    if (host && host->State() != EFP_S_Close)
        return;
    QString text = tr("The Host port is not open.");
    if (const QString why = m_host ? m_host->HostPortFailure() : QString(); !why.isEmpty())
        text += QLatin1Char('\n') + why;
    ShowErrorBox(this, text);
}

bool TFormChildTerminalWindow::ConvertAndAddFields(int repeatRun, int& refusedField)
{
    const int inputDateFormat = m_host ? m_host->InputDateFormat() : 0;
    const int count = std::clamp(Definition.FieldCount, 0, MaxFields);
    for (int i = 0; i < count; ++i) {
        const TCommandFieldDef& def = Definition.Fields[i];
        FieldInput input;
        QWidget* control = FieldInputs[i];
        bool readable = true;
        if (auto* box = qobject_cast<TFieldTypeComboBox*>(control)) {
            readable = TextToBytes(box->text(), input.Text);
        } else if (auto* dateEdit = qobject_cast<QDateEdit*>(control)) {
            const QDate d = dateEdit->date();
            input.Date = FrameDate{d.year(), d.month(), d.day()};
        } else if (auto* timeEdit = qobject_cast<QTimeEdit*>(control)) {
            const QTime t = timeEdit->time();
            input.Time = FrameTime{t.hour(), t.minute(), t.second()};
        }
        bool accepted = readable;
        if (accepted) {
            try {
                accepted = AddFieldValue(ConvertField(def, input, inputDateFormat, repeatRun));
            } catch (const FieldValueError&) {
                accepted = false;
            }
        }
        if (!accepted) {
            refusedField = i;
            return false;
        }
    }
    return true;
}

void TFormChildTerminalWindow::RefuseFieldValue(int field, bool purgeBoth)
{
    QPointer<TFormChildTerminalWindow> self(this);
    // The box names the field: with a dozen inputs on the panel the operator must not guess.
    const std::string caption =
        field >= 0 && field < MaxFields ? Definition.Fields[field].Caption : std::string();
    ShowErrorBox(this, QString::fromStdString(BadUserDataText(caption)));
    if (!self)
        return;
    if (TFPHostControl* host = HostLink())
        host->Purge();
    if (purgeBoth) {
        if (TFPAuxControl* aux = AuxLink())
            aux->Purge();
    }
    // The panel may have been rebuilt while the box was up; only a field still there gets
    // the focus.
    if (field >= 0 && field < MaxFields && FieldInputs[field] && !Definition.Fields[field].ReadOnly)
        FieldInputs[field]->setFocus();
    SetStatusText(swError);
    ButtonSend->setEnabled(true);
    ButtonRepeat->setEnabled(true);
}

void TFormChildTerminalWindow::ButtonSendClick()
{
    AuxFrameText.clear();
    const bool fiscal = Definition.Mode == cmFiscal;
    if (fiscal && !IsFiscalPortOpen()) {
        ButtonSend->setEnabled(false);
        return;
    }
    const QString command = CurrentCommand;
    const unsigned cancels = m_cancelCount;
    const TWaitEnd end = WaitForIdleLink(fiscal);
    if (end == TWaitEnd::Gone)
        return;
    // Cancelled while waiting, or another command chosen meanwhile: the operator no longer
    // wants this one sent.
    if (m_cancelCount != cancels || CurrentCommand != command ||
        (Definition.Mode == cmFiscal) != fiscal)
        return;
    if (end == TWaitEnd::Closed) {
        ReportClosedPort(fiscal);
        return;
    }
    if (!fiscal)
        ApplyHostProtocol();

    int refused = -1;
    if (!ConvertAndAddFields(0, refused)) {
        RefuseFieldValue(refused, true);
        return;
    }
    if (Definition.FieldCount <= 0)
        return;

    if (fiscal) {
        TFPAuxControl* aux = AuxLink();
        if (aux && aux->SendData(AuxFrameText)) {
            m_auxExchangeCancelled = false;
            m_auxExchange = true;
            TreeViewCommand->setEnabled(false);
            CommandInProgress = true;
            SetStatusText(swSending);
            ButtonSend->setEnabled(false);
        } else {
            SetStatusText(swError);
            if (aux)
                aux->Purge();
            ButtonSend->setEnabled(true);
        }
        return;
    }

    TFPHostControl* host = HostLink();
    if (host && host->SendCommand()) {
        m_hostExchangeCancelled = false;
        m_hostExchange = true;
        TreeViewCommand->setEnabled(false);
        SentCommand = CurrentCommand;
        CommandInProgress = true;
        SetStatusText(swSending);
        ButtonSend->setEnabled(false);
        ButtonRepeat->setEnabled(false);
    } else {
        SetStatusText(swError);
        if (host)
            host->Purge();
        ButtonSend->setEnabled(true);
        ButtonRepeat->setEnabled(true);
    }
}

void TFormChildTerminalWindow::ButtonRepeatClick()
{
    // Repeating is for host-mode commands only.
    if (Definition.Mode == cmFiscal) {
        ButtonRepeat->setEnabled(false);
        return;
    }
    QPointer<TFormChildTerminalWindow> self(this);
    const QString answer = AskText(tr("Enter times to repeat the command"));
    if (!self)
        return;
    const std::optional<int> count = RepeatCountFromAnswer(answer.toStdString());
    if (TFPHostControl* host = HostLink())
        host->Purge();
    CancelRequested = false;
    if (!count)
        return;

    // Every way out of the run gives the tree back: a run that stops with nothing in
    // progress must not leave the operator without a command tree.
    auto stop = [this](TStatusWord word, bool purge) {
        m_repeatRunning = false;
        SetStatusText(word);
        if (purge) {
            if (TFPHostControl* host = HostLink())
                host->Purge();
        }
        ButtonSend->setEnabled(true);
        ButtonRepeat->setEnabled(true);
        TreeViewCommand->setEnabled(true);
        EndRepeatTally();
    };

    TreeViewCommand->setEnabled(false);
    m_repeatRunning = true;
    StartRepeatTally(*count, HostLink());
    for (int run = 1; run <= *count; ++run) {
        // The previous run's exchange has ended (or Cancel, or the port closed).
        const TWaitEnd end = WaitForIdleLink(false);
        if (end == TWaitEnd::Gone)
            return;
        if (CancelRequested) {
            stop(m_cancelWord, false);
            return;
        }
        if (end == TWaitEnd::Closed) {
            // The port went with a run in flight, or was never open. The exchange in flight,
            // if any, is lost: an error of the run.
            if (m_repeatTally)
                m_repeatTally->Failed();
            stop(swError, false);
            if (run == 1)
                ReportClosedPort(false);
            return;
        }
        TFPHostControl* host = HostLink();
        if (!host || host->LastError() != EFP_Success) {
            // The run's wait ends on the link's own error signal, before the window's error
            // notification arrives; the purge below would leave that notification nothing to
            // tell, so the run shows the box itself (unless the notification came first).
            const TExchangeFault fault =
                host && m_hostExchange ? HostFault(host->LastError()) : TExchangeFault::Other;
            m_hostExchange = false;
            stop(swError, true);
            ShowExchangeFaultBox(fault);
            return;
        }
        ApplyHostProtocol();
        // The autoincrement counter goes on from the command's last run, also across runs.
        const std::string section = CurrentCommand.toStdString();
        const int counter = m_panelValues.NextCounter(section);
        int refused = -1;
        if (!ConvertAndAddFields(counter, refused)) {
            m_repeatRunning = false;
            RefuseFieldValue(refused, false);
            if (self) {
                TreeViewCommand->setEnabled(true);
                EndRepeatTally();
            }
            return;
        }
        if (!host->SendCommand()) {
            stop(swError, true);
            return;
        }
        m_hostExchangeCancelled = false;
        m_hostExchange = true;
        m_panelValues.CounterUsed(section, counter);
        CountRepeatCommandSent();
        SentCommand = CurrentCommand;
        // Only the last run's answer is shown.
        if (run == *count)
            CommandInProgress = true;
        ButtonSend->setEnabled(false);
        ButtonRepeat->setEnabled(false);
        if (m_host)
            m_host->SetPanelText(1, QString::fromStdString(RepeatProgressText(run, *count)));
        if (host->LastError() != EFP_Success) {
            stop(swError, true);
            return;
        }
    }
    // The last run is out; its answer (or error, or Cancel) ends the exchange.
    m_repeatRunning = false;
}

void TFormChildTerminalWindow::ButtonCancelClick()
{
    const bool busy = ExchangeInProgress();
    DropExchange(swAbort);
    // Ended by the operator: the status says so instead of "Sending ..." or a repeat's count.
    if (busy)
        SetStatusText(swAbort);
}

bool TFormChildTerminalWindow::ExchangeInProgress() const
{
    return m_hostExchange || m_auxExchange || m_repeatRunning || !m_idleWaits.empty();
}

void TFormChildTerminalWindow::DropExchange(TStatusWord repeatEnd)
{
    // A link purged in the middle of an exchange may report it as unanswered a moment later;
    // that report is the Cancel itself, not a printer that is not ready. (Reset has purged
    // the links already, so the window's own record counts as well as the link's state.)
    if (TFPHostControl* host = HostLink()) {
        if (m_hostExchange || host->State() == EFP_S_Busy)
            m_hostExchangeCancelled = true;
        host->Purge();
    }
    if (TFPAuxControl* aux = AuxLink()) {
        if (m_auxExchange || aux->State() == FEFP_S_Busy)
            m_auxExchangeCancelled = true;
        aux->Purge();
    }
    m_hostExchange = false;
    m_auxExchange = false;
    CommandInProgress = false;
    CancelRequested = true;
    m_cancelWord = repeatEnd;
    ++m_cancelCount;
    // Dropping the exchange ends a repeat run, also one whose last command is out; its summary
    // follows the state word the caller sets.
    EndRepeatTally();
    RestoreButtons();
    TreeViewCommand->setEnabled(true);
    for (QEventLoop* loop : m_idleWaits)
        loop->quit();
}

void TFormChildTerminalWindow::RestoreButtons()
{
    if (Definition.FieldCount <= 0) {
        ButtonSend->setEnabled(false);
        ButtonRepeat->setEnabled(false);
    } else if (Definition.Mode == cmFiscal) {
        ButtonSend->setEnabled(IsFiscalPortOpen());
        ButtonRepeat->setEnabled(false);
    } else {
        ButtonSend->setEnabled(true);
        ButtonRepeat->setEnabled(true);
    }
}

void TFormChildTerminalWindow::EndExchangeOnClose(bool fiscal)
{
    // Only an exchange on the link whose port closed ends; the other link's goes on.
    if (fiscal ? !std::exchange(m_auxExchange, false) : !std::exchange(m_hostExchange, false))
        return;
    CommandInProgress = false;
    TreeViewCommand->setEnabled(true);
    SetStatusText(swError);
    RestoreButtons();
    // A repeat waiting for this exchange has seen the close itself and stops with "Error";
    // one whose last command was out ends here, that command lost.
    if (!fiscal && m_repeatTally) {
        m_repeatTally->Failed();
        EndRepeatTally();
    }
}

void TFormChildTerminalWindow::WMTermHostClose()
{
    EndExchangeOnClose(false);
}

void TFormChildTerminalWindow::WMTermAuxClose()
{
    EndExchangeOnClose(true);
}

TFormChildTerminalWindow::TExchangeFault
TFormChildTerminalWindow::HostFault(tallyhost::TErrorType error)
{
    if (error == EFP_E_WriteError || error == EFP_E_ReadTimeOut)
        return TExchangeFault::NotReady;
    if (error == EFP_E_NackReceived)
        return TExchangeFault::BadData;
    return TExchangeFault::Other;
}

bool TFormChildTerminalWindow::ShowExchangeFaultBox(TExchangeFault fault)
{
    QPointer<TFormChildTerminalWindow> self(this);
    switch (fault) {
    case TExchangeFault::NotReady:
        ShowErrorBox(this, tr("Communication errors!!! Fiscal printer not ready."));
        break;
    case TExchangeFault::BadData:
        ShowErrorBox(this, tr("Error!!! Bad data in frame."));
        break;
    case TExchangeFault::Other:
        break;
    }
    return !self.isNull();
}

bool TFormChildTerminalWindow::ReportExchangeFault(TExchangeFault fault)
{
    TreeViewCommand->setEnabled(true);
    if (fault == TExchangeFault::NotReady)
        SetStatusText(swTimeOut);
    else if (fault == TExchangeFault::BadData)
        SetStatusText(swError);
    if (!ShowExchangeFaultBox(fault))
        return false;
    CommandInProgress = false;
    ButtonSend->setEnabled(true);
    return true;
}

void TFormChildTerminalWindow::WMTermHostError()
{
    // An exchange dropped by Cancel ends in a time-out report that is not the printer's fault.
    const bool cancelled = std::exchange(m_hostExchangeCancelled, false);
    m_hostExchange = false;
    TFPHostControl* host = cancelled ? nullptr : HostLink();
    const TExchangeFault fault = host ? HostFault(host->LastError()) : TExchangeFault::Other;
    if (ReportExchangeFault(fault))
        ButtonRepeat->setEnabled(true);
}

void TFormChildTerminalWindow::WMTermAuxError()
{
    const bool cancelled = std::exchange(m_auxExchangeCancelled, false);
    m_auxExchange = false;
    TFPAuxControl* aux = cancelled ? nullptr : AuxLink();
    TExchangeFault fault = TExchangeFault::Other;
    if (aux) {
        const TFErrorType error = aux->LastError();
        if (error == FEFP_E_WriteError || error == FEFP_E_ReadTimeOut)
            fault = TExchangeFault::NotReady;
        else if (error == FEFP_E_NackReceived)
            fault = TExchangeFault::BadData;
    }
    ReportExchangeFault(fault);
}

void TFormChildTerminalWindow::WMTermAuxAck()
{
    m_auxExchange = false;
    TreeViewCommand->setEnabled(true);
    SetStatusText(swReady);
    ButtonSend->setEnabled(true);
    CommandInProgress = false;
    ShowMessageBox(this, QMessageBox::Information, QString(),
                   tr("     Fiscal Port it's alive !!!     "), QMessageBox::Ok);
}
