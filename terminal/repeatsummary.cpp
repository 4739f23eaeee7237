// The summary of a repeat run: how many commands went out, how many were answered or failed,
// and how long the printer took to answer, told in the status bar and the log view when the
// run ends (all runs done, Cancel, or an error). The counting is the core's RepeatTally, the
// same that tallyhost-cli reports with --repeat.

#include "terminal/terminalwindow.h"

#include "core/repeattally.h"
#include "links/fphostcontrol.h"
#include "terminal/terminalhost.h"

#include <QByteArray>

using namespace tallyhost;

void TFormChildTerminalWindow::StartRepeatTally(int count, TFPHostControl* host)
{
    EndRepeatTally(); // a run still open (never expected) gives its summary first
    if (!host)
        return;
    m_repeatTally = std::make_unique<RepeatTally>(count);
    m_repeatWatch = std::make_unique<QObject>();
    QObject* watch = m_repeatWatch.get();
    connect(host, &TFPHostControl::OnWrite, watch, [this](TFPHostControl*, const QByteArray& v) {
        // One byte is the ACK or NAK the host sends; longer is the command frame.
        if (m_repeatTally && v.size() > 1)
            m_repeatTally->FrameWritten(RepeatTally::Clock::now());
    });
    connect(host, &TFPHostControl::OnFinalAnswer, watch, [this](TFPHostControl* link) {
        if (!m_repeatTally)
            return;
        // The link's figure, taken where the bytes move, is the one the log view shows too.
        std::optional<RepeatTally::Clock::duration> measured;
        if (link && link->LastResponseMs() >= 0)
            measured = std::chrono::milliseconds(link->LastResponseMs());
        m_repeatTally->Answered(RepeatTally::Clock::now(), measured);
        if (m_repeatTally->Sent() == m_repeatTally->Requested())
            EndRepeatTally();
    });
    connect(host, &TFPHostControl::OnError, watch, [this] {
        if (!m_repeatTally)
            return;
        m_repeatTally->Failed();
        if (m_repeatTally->Sent() == m_repeatTally->Requested())
            EndRepeatTally();
    });
}

void TFormChildTerminalWindow::CountRepeatCommandSent()
{
    if (m_repeatTally)
        m_repeatTally->CommandSent();
}

void TFormChildTerminalWindow::EndRepeatTally()
{
    if (!m_repeatTally)
        return;
    // Whatever the link reports from now on (the late answer of a cancelled command) is not
    // part of this run.
    m_repeatWatch.reset();
    const QString summary = QString::fromStdString(m_repeatTally->SummaryText());
    m_repeatTally.reset();
    // Told once the notifications already on their way have set the state word: the answer
    // or error of the last run reaches this window after the link's own signal.
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
