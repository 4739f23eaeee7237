// Sending, repeating and cancelling from the terminal window against the printer simulator,
// and the answer the window shows.

#include "sending_fixture.h"

#include "gui/notifications.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>

using namespace sendingtest;
using tallyhost::EFP_S_Busy;

namespace {

QColor TextColor(const QWidget* w)
{
    return w->palette().color(QPalette::WindowText);
}

} // namespace

TEST_F(SendingTest, SendShowsTheDecodedAnswerOfTheHostCommand)
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("S", 0x0600, 0x0001, 2049, {"12345", "311299", "extra"}));
    StartSimulator(s);
    OpenFile(DemoFile(1));
    Select("G", "Sale");
    ASSERT_TRUE(m_window->ButtonSend->isEnabled());

    m_window->ButtonSendClick();
    EXPECT_EQ(Status(), "Sending ...");
    EXPECT_FALSE(m_window->TreeViewCommand->isEnabled());
    EXPECT_FALSE(m_window->ButtonSend->isEnabled());
    ASSERT_TRUE(WaitForStatus("Ready"));

    EXPECT_TRUE(m_dialogs.Boxes.empty());
    EXPECT_FALSE(m_window->CommandInProgress);
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_TRUE(m_window->ButtonRepeat->isEnabled());
    EXPECT_EQ(m_window->SentCommand, "GSale");
    EXPECT_EQ(m_window->PageControl->currentWidget(), m_window->TabSheetAnswer);

    // Status words: the later of two matching records wins panel 1, a 0000/0000 record always
    // matches, a result with bits outside its mask never does.
    EXPECT_EQ(m_window->GroupBoxFiscalAnswer->title(), "Fiscal answer = 0600");
    EXPECT_EQ(m_window->GroupBoxPrinterAnswer->title(), "Printer answer = 0001");
    ASSERT_EQ(m_window->FiscalPanels.size(), 3u);
    EXPECT_EQ(m_window->FiscalPanels[0]->text(), "B");
    EXPECT_EQ(TextColor(m_window->FiscalPanels[0]), QColor(0, 0, 255));
    EXPECT_EQ(m_window->FiscalPanels[1]->text(), "Always");
    EXPECT_EQ(m_window->FiscalPanels[2]->text(), "");
    ASSERT_EQ(m_window->PrinterPanels.size(), 1u);
    EXPECT_EQ(m_window->PrinterPanels[0]->text(), "Paper low");
    EXPECT_GT(m_window->GroupBoxPrinterAnswer->y(),
              m_window->GroupBoxFiscalAnswer->geometry().bottom());

    // Extended answer: reserved entries hidden, return code with its hint, answer fields from
    // position 3 formatted by type, the value beyond them unnamed in maroon.
    ASSERT_EQ(m_window->AnswerLabels.size(), 6u);
    EXPECT_FALSE(m_window->AnswerLabels[0]->isVisibleTo(m_window));
    EXPECT_FALSE(m_window->AnswerEdits[2]->isVisibleTo(m_window));
    auto [rcLabel, rcEdit] = Entry("Return code");
    ASSERT_TRUE(rcEdit);
    EXPECT_EQ(rcEdit->text(), "2049");
    EXPECT_EQ(rcEdit->toolTip(), "(0801) Bad date");
    EXPECT_TRUE(rcEdit->isReadOnly());
    EXPECT_EQ(rcLabel->buddy(), rcEdit);
    EXPECT_EQ(Entry("Total").second->text(), "123.45");
    EXPECT_EQ(Entry("When").second->text(), "1999/12/31");
    auto [extraLabel, extraEdit] = Entry("Field5");
    ASSERT_TRUE(extraEdit);
    EXPECT_EQ(extraEdit->text(), "extra");
    EXPECT_EQ(TextColor(extraLabel), QColor(128, 0, 0));
    EXPECT_NE(TextColor(Entry("Total").first), QColor(128, 0, 0));
    // Entries below the separator; the hidden reserved entry keeps its grid place.
    EXPECT_GT(rcLabel->y(), m_window->BevelSeparator->y());
    EXPECT_NE(rcLabel->pos(), m_window->AnswerLabels[0]->pos());
}

TEST_F(SendingTest, RepeatShowsProgressAndOnlyTheLastAnswer)
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("C", 0, 0, 0, {"$2"}, 20));
    StartSimulator(s);
    OpenFile(DemoFile(1));
    Select("G", "Count");

    QStringList progress;
    int answersShown = 0;
    QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnFinalAnswer, m_main,
                     [&] { progress << Status(); });
    AnswerRepeatCount("3");
    const auto countAnswers =
        QObject::connect(m_window->PageControl, &QTabWidget::currentChanged, m_main, [&](int) {
            if (m_window->PageControl->currentWidget() == m_window->TabSheetAnswer)
                ++answersShown;
        });
    m_window->ButtonRepeatClick();
    // The run ends with the state word and its summary.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Status().startsWith("Ready - Repeat 3: 3 sent, 3 answered, 0 errors;"); },
        8000))
        << Status().toStdString();
    QObject::disconnect(countAnswers);

    EXPECT_EQ(progress, (QStringList{"1/3", "2/3", "3/3"}));
    EXPECT_EQ(m_framesWritten, 3);
    EXPECT_EQ(answersShown, 1);
    // The autoincremented text of the last run came back.
    EXPECT_EQ(Entry("Echo").second->text(), "T003");
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_FALSE(m_window->CommandInProgress);
}

TEST_F(SendingTest, CancelDuringARepeatEndsItWithAbortAndTheLateAnswerIsIgnored)
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("C", 0x0600, 0, 0, {"$2"}, 300));
    StartSimulator(s);
    OpenFile(DemoFile(1));
    Select("G", "Count");

    AnswerRepeatCount("5");
    QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnWrite, m_main,
                     [this](tallyhost::TFPHostControl*, const QByteArray& v) {
                         if (v.size() > 1 && m_framesWritten == 1)
                             m_window->ButtonCancelClick();
                     });
    m_window->ButtonRepeatClick();
    const QString aborted = QStringLiteral(
        "Abort - Repeat 5: 1 sent, 0 answered, 0 errors; response min/median/max -/-/- ms");
    ASSERT_TRUE(WaitForStatus(aborted, 3000)) << Status().toStdString();
    EXPECT_EQ(m_framesWritten, 1);
    EXPECT_FALSE(m_window->CommandInProgress);
    EXPECT_TRUE(m_window->CancelRequested);
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_TRUE(m_window->ButtonRepeat->isEnabled());

    // The printer's answer to the cancelled command comes later and changes nothing, nor does
    // an answer notification that arrives with nothing in progress.
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_lateReports > 0; }, 5000));
    PostNotification(m_window, WM_TERM_HOST_ANSWER);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Status(), aborted);
    EXPECT_FALSE(m_window->GroupBoxFiscalAnswer->isVisibleTo(m_window));
    EXPECT_TRUE(m_window->AnswerLabels.empty());
    EXPECT_TRUE(m_dialogs.Boxes.empty());
}

TEST_F(SendingTest, FiscalCommandSendsItsValuesAsOneText)
{
    Scenario s = QuickScenario();
    tallyhost::sim::FiscalRule rule;
    rule.Name = "Fiscal.AB1";
    rule.Match = "AB1";
    rule.Frames = {"0005 first", "0000 got $1"};
    rule.Delay = Millis(0);
    s.FiscalRules.push_back(rule);
    s.FiscalDefault.Frames = {"0001 unexpected"};
    StartSimulator(s);
    OpenFile(DemoFile(1), true);
    Select("F", "Join");
    ASSERT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_FALSE(m_window->ButtonRepeat->isEnabled());

    m_window->ButtonSendClick();
    EXPECT_EQ(m_window->AuxFrameText, "AB1");
    ASSERT_TRUE(WaitForStatus("Ready"));
    EXPECT_EQ(m_window->PageControl->currentWidget(), m_window->TabSheetFiscalAnswer);
    EXPECT_EQ(m_window->MemoFiscalAnswer->toPlainText(), "0005 first\n0000 got AB1");
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_FALSE(m_window->CommandInProgress);

    // Repeat is for host commands only.
    m_window->ButtonRepeatClick();
    EXPECT_FALSE(m_window->ButtonRepeat->isEnabled());

    // A double click empties the memo.
    QTest::mouseDClick(m_window->MemoFiscalAnswer->viewport(), Qt::LeftButton);
    EXPECT_TRUE(m_window->MemoFiscalAnswer->toPlainText().isEmpty());
}

TEST_F(SendingTest, FiscalAcknowledgementAndCancel)
{
    Scenario s = QuickScenario();
    tallyhost::sim::FiscalRule slow;
    slow.Name = "Fiscal.SLOW";
    slow.Match = "SLOW";
    slow.Delay = Millis(400);
    s.FiscalRules.push_back(slow);
    StartSimulator(s);
    OpenFile(DemoFile(1), true);

    // A lone ENQ is answered with ACK: the port is alive.
    Select("F", "Enq");
    m_window->ButtonSendClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dialogs.Boxes.empty(); }, 3000));
    EXPECT_EQ(m_dialogs.Boxes[0].text, "     Fiscal Port it's alive !!!     ");
    EXPECT_EQ(m_dialogs.Boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(Status(), "Ready");
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());

    // Cancel in the middle of an exchange: the link's report of the dropped command is not
    // shown as a printer that is not ready.
    m_dialogs.Boxes.clear();
    Select("F", "Slow");
    QSignalSpy written(m_main->FPAuxControl1, &tallyhost::TFPAuxControl::OnWrite);
    m_window->ButtonSendClick();
    EXPECT_TRUE(m_window->CommandInProgress);
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.count() > 0; }, 5000));
    m_window->ButtonCancelClick();
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_FALSE(m_window->ButtonRepeat->isEnabled());
    // Nothing may come of it until well past the link's time-out (1000 ms), when a report of
    // the dropped command would have come.
    QTest::qWait(1500);
    EXPECT_TRUE(m_dialogs.Boxes.empty()) << m_dialogs.Texts().join('|').toStdString();
    EXPECT_TRUE(m_window->MemoFiscalAnswer->toPlainText().isEmpty());
    EXPECT_FALSE(m_window->CommandInProgress);
}

TEST_F(SendingTest, ExchangeFailuresEndWithTheirBoxAndStateWord)
{
    Scenario s = QuickScenario();
    auto nak = HostRule("S", 0, 0, 0, {});
    nak.Faults = tallyhost::sim::FaultNak;
    s.HostRules.push_back(nak);
    auto silent = HostRule("C", 0, 0, 0, {});
    silent.Faults = tallyhost::sim::FaultSilence;
    s.HostRules.push_back(silent);
    StartSimulator(s);
    OpenFile(DemoFile(1));

    Select("G", "Sale");
    m_window->ButtonSendClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dialogs.Boxes.empty(); }, 10000));
    EXPECT_EQ(m_dialogs.Boxes.front().text, "Error!!! Bad data in frame.");
    EXPECT_EQ(m_dialogs.Boxes.front().icon, QMessageBox::Critical);
    EXPECT_EQ(Status(), "Error");
    EXPECT_FALSE(m_window->CommandInProgress);
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_TRUE(m_window->AnswerLabels.empty());

    m_dialogs.Boxes.clear();
    Select("G", "Count");
    m_window->ButtonSendClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dialogs.Boxes.empty(); }, 10000));
    EXPECT_EQ(m_dialogs.Boxes.front().text, "Communication errors!!! Fiscal printer not ready.");
    EXPECT_EQ(Status(), "TimeOut");
    EXPECT_TRUE(m_window->ButtonRepeat->isEnabled());
    EXPECT_FALSE(m_window->CommandInProgress);
}

TEST_F(SendingTest, FixedAnswerShowsBothStatusBoxesAndTheLeadingEntries)
{
    StartSimulator(QuickScenario());
    OpenFile(DemoFile(0));
    m_window->ShowAnswer(0x0600, 0x0000, {}, 0);
    EXPECT_EQ(m_window->GroupBoxFiscalAnswer->title(), "Fiscal answer = 0600");
    EXPECT_EQ(m_window->GroupBoxPrinterAnswer->title(), "Printer answer = 0000");
    EXPECT_TRUE(m_window->GroupBoxFiscalAnswer->isVisibleTo(m_window));
    EXPECT_TRUE(m_window->GroupBoxPrinterAnswer->isVisibleTo(m_window));
    EXPECT_EQ(m_window->FiscalPanels[0]->text(), "B");
    EXPECT_EQ(m_window->PrinterPanels[0]->text(), "");
    // Compatibility protocol, nothing sent yet: three unnamed leading entries.
    ASSERT_EQ(m_window->AnswerLabels.size(), 3u);
    EXPECT_EQ(m_window->AnswerLabels[1]->text(), "Field1");
    EXPECT_EQ(m_window->AnswerEdits[1]->text(), "0");
    EXPECT_EQ(m_window->PageControl->currentWidget(), m_window->TabSheetAnswer);

    // The fixed answer editor's follow-up removes the panels and hides the boxes.
    m_window->RemoveFiscalStatusPanels();
    m_window->RemovePrinterStatusPanels();
    EXPECT_TRUE(m_window->FiscalPanels.empty());
    EXPECT_FALSE(m_window->FiscalPanelsExist);
    EXPECT_FALSE(m_window->GroupBoxFiscalAnswer->isVisibleTo(m_window));
    EXPECT_FALSE(m_window->GroupBoxPrinterAnswer->isVisibleTo(m_window));
    // ... and the next answer builds them again, more entries than 70 included.
    std::vector<std::string> many(80, "v");
    m_window->ShowAnswer(0, 0, many, 0);
    EXPECT_EQ(m_window->AnswerLabels.size(), 70u);
    ASSERT_NE(m_window->AnswerRestView, nullptr);
    const QAbstractItemModel* rest = m_window->AnswerRestView->model();
    ASSERT_EQ(rest->rowCount(), 13);
    EXPECT_EQ(rest->index(12, 0).data().toString(), "Field82");
    EXPECT_TRUE(m_window->GroupBoxFiscalAnswer->isVisibleTo(m_window));
}

// However many values an answer has, the window makes a bounded number of widgets: the grid
// holds the first 70 entries, one list the rest, every value in its place.
TEST_F(SendingTest, AHugeAnswerKeepsEveryValueInABoundedDisplay)
{
    StartSimulator(QuickScenario());
    OpenFile(DemoFile(0));
    std::vector<std::string> values;
    for (int i = 0; i < 8000; ++i)
        values.push_back("v" + std::to_string(i));
    const int widgetsBefore = static_cast<int>(m_window->findChildren<QWidget*>().size());
    m_window->ShowAnswer(0x0600, 0, values, 0);
    EXPECT_LT(m_window->findChildren<QWidget*>().size(), widgetsBefore + 200);

    ASSERT_EQ(m_window->AnswerLabels.size(), 70u);
    EXPECT_EQ(m_window->AnswerLabels[69]->text(), "Field69");
    EXPECT_EQ(m_window->AnswerEdits[69]->text(), "v66");
    ASSERT_NE(m_window->AnswerRestView, nullptr);
    EXPECT_TRUE(m_window->AnswerRestView->isVisibleTo(m_window));
    EXPECT_GT(m_window->AnswerRestView->y(), m_window->AnswerEdits[69]->geometry().bottom());
    const QAbstractItemModel* rest = m_window->AnswerRestView->model();
    ASSERT_EQ(rest->rowCount(), 8003 - 70);
    EXPECT_EQ(rest->index(0, 0).data().toString(), "Field70");
    EXPECT_EQ(rest->index(0, 1).data().toString(), "v67");
    EXPECT_EQ(rest->index(7932, 0).data().toString(), "Field8002");
    EXPECT_EQ(rest->index(7932, 1).data().toString(), "v7999");
    // Unnamed, so maroon, as in the grid.
    EXPECT_EQ(rest->index(5, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(128, 0, 0));
    // The list is scrolled by the operator, not by the scroll box: it stays a few rows high.
    EXPECT_LT(m_window->AnswerRestView->height(), 600);

    // A small answer puts the list away again.
    m_window->ShowAnswer(0, 0, {"one"}, 0);
    EXPECT_EQ(m_window->AnswerLabels.size(), 4u);
    EXPECT_FALSE(m_window->AnswerRestView->isVisibleTo(m_window));
    EXPECT_EQ(m_window->AnswerRestView->model()->rowCount(), 0);
}
