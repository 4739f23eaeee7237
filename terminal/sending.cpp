// The terminal window's Send, Repeat and Cancel: the buttons and the glue between them and the
// exchange engine (session/exchange.h), which owns the exchange itself. The window reads the
// command panel into a request, hands it to the engine and shows what the engine reports: the
// state word, the enabling of the tree and the buttons, the answer, the operator's boxes. It
// keeps no exchange state of its own beyond the public flags that the main window and its
// tests read.
//
// The main window still posts its terminal notifications (answer, error, close) to this
// window; the engine watches the links itself, so they need no handler here.

#include "terminal/terminalwindow.h"

#include "core/fieldconvert.h"
#include "core/termcache.h"
#include "gui/hint.h"
#include "gui/messagebox.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "session/exchange.h"
#include "session/scriptrecord.h"
#include "terminal/commandtree.h"
#include "terminal/terminalhost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTreeWidgetItem>

#include <algorithm>

using namespace tallyhost;

// The window's state words are the engine's, in the same order.
static_assert(static_cast<int>(StateWord::Ready) == TFormChildTerminalWindow::swReady);
static_assert(static_cast<int>(StateWord::Error) == TFormChildTerminalWindow::swError);
static_assert(static_cast<int>(StateWord::Sending) == TFormChildTerminalWindow::swSending);
static_assert(static_cast<int>(StateWord::TimeOut) == TFormChildTerminalWindow::swTimeOut);
static_assert(static_cast<int>(StateWord::Abort) == TFormChildTerminalWindow::swAbort);

QString TFormChildTerminalWindow::StatusWordText(TStatusWord word)
{
    static const char* const texts[] = {"Ready", "Error", "Sending ...", "TimeOut", "Abort"};
    return QString::fromLatin1(texts[word]);
}

QWidget* TFormChildTerminalWindow::CreateButtonPanel()
{
    ButtonPanel = new QWidget(PanelMain);
    auto* buttonLayout = new QHBoxLayout(ButtonPanel);
    ButtonSend = new QPushButton(tr("&Send"), ButtonPanel);
    SetHint(ButtonSend, tr("Send selected command"));
    ButtonSend->setEnabled(false);
    ButtonRepeat = new QPushButton(tr("&Repeat ..."), ButtonPanel);
    SetHint(ButtonRepeat, tr("Send commands \"n\" times"));
    ButtonRepeat->setEnabled(false);
    ButtonCancel = new QPushButton(tr("&Cancel"), ButtonPanel);
    SetHint(ButtonCancel, tr("Cancel command in progress"));
    buttonLayout->addStretch(1);
    buttonLayout->addWidget(ButtonSend);
    buttonLayout->addWidget(ButtonRepeat);
    buttonLayout->addWidget(ButtonCancel);
    // Record works on every tab (a Send shows the answer tab), so it sits in the tab bar's
    // corner, not with the buttons that act on the command panel.
    ButtonRecord = new QPushButton(PageControl);
    ButtonRecord->setObjectName(QStringLiteral("ButtonRecord"));
    ButtonRecord->setCheckable(true);
    PageControl->setCornerWidget(ButtonRecord, Qt::TopRightCorner);
    ShowRecording();
    ButtonSend->installEventFilter(this);
    connect(ButtonSend, &QPushButton::clicked, this, &TFormChildTerminalWindow::ButtonSendClick);
    connect(ButtonRepeat, &QPushButton::clicked, this,
            &TFormChildTerminalWindow::ButtonRepeatClick);
    connect(ButtonCancel, &QPushButton::clicked, this,
            &TFormChildTerminalWindow::ButtonCancelClick);
    connect(ButtonRecord, &QPushButton::toggled, this,
            &TFormChildTerminalWindow::ButtonRecordClick);
    return ButtonPanel;
}

void TFormChildTerminalWindow::SetStatusText(TStatusWord word)
{
    m_statusWord = word;
    if (m_host)
        m_host->SetPanelText(1, StatusWordText(word));
}

struct TFormChildTerminalWindow::PendingRecord
{
    TRecordedSend Send;
    ExchangeRequest Request;
};

void TFormChildTerminalWindow::ShowRecording()
{
    const bool on = ButtonRecord->isChecked() && !RecordScript.isEmpty();
    if (!on) {
        ButtonRecord->setText(tr("Recor&d"));
        ButtonRecord->setIcon(QIcon());
        SetHint(ButtonRecord, tr("Record every Send and Repeat into a test script (Alt+D)"));
        return;
    }
    ButtonRecord->setText(tr("Recor&ding to %1").arg(QFileInfo(RecordScript).fileName()));
    // A red dot, as recorders show it.
    QPixmap dot(12, 12);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xD0, 0x10, 0x10));
    painter.drawEllipse(1, 1, 10, 10);
    painter.end();
    ButtonRecord->setIcon(QIcon(dot));
    SetHint(ButtonRecord, tr("Recording to %1|Recording every Send and Repeat to %1; click "
                             "(Alt+D) to stop")
                              .arg(QDir::toNativeSeparators(RecordScript)));
}

void TFormChildTerminalWindow::UpdateSendHint()
{
    const bool command = Definition.FieldCount > 0;
    if (command && !ButtonSend->isEnabled() && Definition.Mode == cmFiscal && !IsFiscalPortOpen())
        SetHint(ButtonSend, tr("The fiscal port is off|The fiscal port is off: turn it on with "
                               "the fiscal port button of the toolbar (Enable Fiscal port)"));
    else if (command && !ButtonSend->isEnabled() && Definition.Mode == cmHost && !IsHostPortOpen())
        SetHint(ButtonSend, tr("The host port is not open|The host port is not open: choose "
                               "its device in Options, Preferences, and OK opens it again"));
    else
        SetHint(ButtonSend, tr("Send selected command"));
}

void TFormChildTerminalWindow::PortsChanged()
{
    if (!ExchangeInProgress() && TreeViewCommand->isEnabled())
        SetButtonsForPanel();
    UpdateSendHint();
}

void TFormChildTerminalWindow::ButtonRecordClick(bool down)
{
    if (!down) {
        m_pendingRecord.reset();
        ShowRecording();
        return;
    }
    // The script is chosen each time recording starts; an existing one gets more cases.
    QPointer<TFormChildTerminalWindow> self(this);
    const QString folder = QFileInfo(QFile::decodeName(m_path.c_str())).absolutePath();
    const QString path =
        UserDialogs().SaveFileName(this, tr("Record into test script"), folder,
                                   tr("Test scripts (*.ths)"), QStringLiteral("ths"));
    if (!self)
        return;
    // A script made for another catalogue is refused now, not after the printer has had the
    // command.
    const std::string refusal =
        path.isEmpty() ? std::string()
                       : RecordTargetRefusal(QFile::encodeName(path).toStdString(), m_path);
    if (!refusal.empty())
        ShowError(QString::fromLocal8Bit(refusal.c_str()));
    if (!self)
        return;
    if (path.isEmpty() || !refusal.empty()) {
        const QSignalBlocker block(ButtonRecord);
        ButtonRecord->setChecked(false);
        ShowRecording();
        return;
    }
    RecordScript = path;
    ShowRecording();
}

void TFormChildTerminalWindow::KeepForRecord(const ExchangeRequest& request, int repeat)
{
    m_pendingRecord.reset();
    const QTreeWidgetItem* node = TreeViewCommand->currentItem();
    if (!ButtonRecord->isChecked() || RecordScript.isEmpty() || !node || !node->parent())
        return;
    m_pendingRecord = std::make_shared<PendingRecord>();
    m_pendingRecord->Request = request;
    m_pendingRecord->Send.Group = node->parent()->text(0).toLatin1().toStdString();
    m_pendingRecord->Send.Command = node->text(0).toLatin1().toStdString();
    m_pendingRecord->Send.Repeat = repeat;
}

void TFormChildTerminalWindow::RecordExchange(const ExchangeResult& r)
{
    const std::shared_ptr<PendingRecord> pending = std::move(m_pendingRecord);
    if (!pending || r.NothingSent())
        return;
    pending->Send.Request = &pending->Request;
    pending->Send.Result = &r;
    const std::string error =
        AppendRecordedCase(QFile::encodeName(RecordScript).toStdString(), m_path, pending->Send);
    if (!error.empty())
        ShowError(QString::fromLocal8Bit(error.c_str()));
}

TExchangeEngine& TFormChildTerminalWindow::Engine() const
{
    return *m_engine;
}

bool TFormChildTerminalWindow::ExchangeInProgress() const
{
    return m_engine->Busy();
}

ExchangeRequest TFormChildTerminalWindow::PanelRequest() const
{
    ExchangeRequest request;
    request.Section = CurrentCommand.toLatin1().toStdString();
    request.Definition = Definition;
    request.Inputs = PanelInputs();
    for (std::size_t i = 0; i < request.Inputs.size(); ++i) {
        std::string& bytes = request.Inputs[i].Text;
        const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        // One frame byte per character: a character beyond Latin-1 would go out as "?".
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; }) &&
            request.UnreadableField < 0)
            request.UnreadableField = static_cast<int>(i);
        bytes = text.toLatin1().toStdString();
    }
    return request;
}

void TFormChildTerminalWindow::PrepareEngine()
{
    // The links, the settings and the file may all have changed since the last command.
    m_engine->SetLinks(HostLink(), AuxLink());
    m_engine->SetSettings(HostSettings());
    m_engine->SetCatalogue(m_cache.get());
    m_engine->SetStatusTables(FiscalStatus, PrinterStatus);
}

void TFormChildTerminalWindow::ButtonSendClick()
{
    AuxFrameText.clear();
    if (Definition.Mode == cmFiscal && !IsFiscalPortOpen()) {
        ButtonSend->setEnabled(false);
        return;
    }
    PrepareEngine();
    const ExchangeRequest request = PanelRequest();
    KeepForRecord(request, 0);
    m_engine->Send(request);
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
    TreeViewCommand->setEnabled(false);
    PrepareEngine();
    const ExchangeRequest request = PanelRequest();
    KeepForRecord(request, *count);
    if (!m_engine->Repeat(request, *count)) {
        m_pendingRecord.reset();
        TreeViewCommand->setEnabled(true);
    }
}

void TFormChildTerminalWindow::ButtonCancelClick()
{
    const bool busy = ExchangeInProgress();
    DropExchange(StateWord::Abort);
    // Ended by the operator: the status says so instead of "Sending ..." or a repeat's count.
    if (busy)
        SetStatusText(swAbort);
}

void TFormChildTerminalWindow::ClearCommandInProgress()
{
    // "Reset serial ports" purged both links: the exchange in progress, and a repeat, end here
    // with the controls back, or the window would wait for an answer that never comes.
    DropExchange(StateWord::Ready);
}

void TFormChildTerminalWindow::DropExchange(StateWord word)
{
    PrepareEngine();
    m_engine->Cancel(word); // purges both links; a late answer finds nothing awaited
    CommandInProgress = false;
    CancelRequested = true;
    RestoreButtons();
    TreeViewCommand->setEnabled(true);
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

void TFormChildTerminalWindow::ExchangeHandedOver(int run, int count)
{
    TreeViewCommand->setEnabled(false);
    ButtonSend->setEnabled(false);
    const ExchangeResult& progress = m_engine->Progress();
    if (progress.Fiscal) {
        AuxFrameText = progress.FiscalText;
        CommandInProgress = true;
        SetStatusText(swSending);
        return;
    }
    SentCommand = QString::fromLatin1(m_engine->SentSection());
    ButtonRepeat->setEnabled(false);
    // Only the last run's answer is shown.
    CommandInProgress = run == count;
    if (progress.Repeat) {
        if (m_host)
            m_host->SetPanelText(1, QString::fromStdString(RepeatProgressText(run, count)));
    } else {
        SetStatusText(swSending);
    }
}

void TFormChildTerminalWindow::ExchangeFinished(const ExchangeResult& r)
{
    QPointer<TFormChildTerminalWindow> self(this);
    CommandInProgress = false;
    RecordExchange(r);
    if (r.Outcome == ExchangeOutcome::NothingToSend)
        return;
    if (r.Outcome != ExchangeOutcome::Cancelled)
        TreeViewCommand->setEnabled(true);
    if (r.Word && r.Outcome != ExchangeOutcome::Cancelled)
        SetStatusText(static_cast<TStatusWord>(*r.Word));
    else if (r.Word && r.Repeat)
        SetStatusText(static_cast<TStatusWord>(*r.Word));

    switch (r.Outcome) {
    case ExchangeOutcome::Answered:
        if (r.Fiscal) {
            ButtonSend->setEnabled(true);
            break;
        }
        ShowHostAnswer(r);
        if (Definition.FieldCount > 0) {
            ButtonSend->setEnabled(true);
            ButtonRepeat->setEnabled(true);
        }
        break;
    case ExchangeOutcome::Acknowledged:
        ButtonSend->setEnabled(true);
        ShowMessageBox(this, QMessageBox::Information, QString(),
                       tr("     Fiscal Port it's alive !!!     "), QMessageBox::Ok);
        break;
    case ExchangeOutcome::RefusedValue:
        ShowErrorBox(this, QString::fromLatin1(r.FaultText));
        if (!self)
            return;
        // The panel may have been rebuilt while the box was up; only a field still there
        // gets the focus.
        if (r.RefusedField >= 0 && r.RefusedField < MaxFields && FieldInputs[r.RefusedField] &&
            !Definition.Fields[r.RefusedField].ReadOnly)
            FieldInputs[r.RefusedField]->setFocus();
        ButtonSend->setEnabled(true);
        ButtonRepeat->setEnabled(true);
        break;
    case ExchangeOutcome::RefusedNak:
    case ExchangeOutcome::NoAnswer:
    case ExchangeOutcome::WriteError:
        ShowErrorBox(this, QString::fromLatin1(r.FaultText));
        if (!self)
            return;
        ButtonSend->setEnabled(true);
        if (!r.Fiscal)
            ButtonRepeat->setEnabled(true);
        break;
    case ExchangeOutcome::PortClosed:
        if (r.NothingSent())
            ReportClosedPort(r.Fiscal);
        else
            RestoreButtons();
        break;
    case ExchangeOutcome::LinkRefused:
        ButtonSend->setEnabled(true);
        if (!r.Fiscal)
            ButtonRepeat->setEnabled(true);
        break;
    case ExchangeOutcome::Cancelled:
    case ExchangeOutcome::NothingToSend:
        break;
    }
    if (self && r.Tally)
        TellRepeatSummary(QString::fromStdString(r.Tally->SummaryText()));
}

void TFormChildTerminalWindow::TellRepeatSummary(const QString& summary)
{
    // Told once the state word of the run's end is set (Cancel sets it after the engine
    // has reported).
    QMetaObject::invokeMethod(
        this,
        [this, summary] {
            if (m_host)
                m_host->SetPanelText(1, StatusWordText(m_statusWord) + QStringLiteral(" - ") +
                                            summary);
            emit RepeatSummary(summary);
        },
        Qt::QueuedConnection);
}

void TFormChildTerminalWindow::ReportClosedPort(bool fiscal)
{
    SetStatusText(swError);
    if (fiscal) {
        ButtonSend->setEnabled(IsFiscalPortOpen());
        return;
    }
    ButtonSend->setEnabled(true);
    ButtonRepeat->setEnabled(true);
    TFPHostControl* host = HostLink();
    // Closed and opened again during the wait: nothing to explain but that nothing was sent.
    if (host && host->State() != EFP_S_Close)
        return;
    QString text = tr("The Host port is not open.");
    if (const QString why = m_host ? m_host->HostPortFailure() : QString(); !why.isEmpty())
        text += QLatin1Char('\n') + why;
    ShowErrorBox(this, text);
}
