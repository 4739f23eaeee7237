// What the windows show while an exchange is in progress and something else happens: Cancel,
// a port closed or reset, another file opened, a port that never opened, a real modal box
// open while the link reports. Driven by clicks and keys on the real widgets.

#include "gestures.h"
#include "sending_fixture.h"

#include "app/formpreferences.h"
#include "app/settings.h"
#include "links/devicetable.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

using namespace sendingtest;

namespace {

// Labels chosen so that no field takes Alt+S, Alt+R or Alt+C from the buttons.
QByteArray ExchangeFile(int protocol)
{
    QByteArray f;
    f += "[General]\r\nProtocol=" + QByteArray::number(protocol) +
         "\r\nInputDateFormat=0\r\nOutputDateFormat=7\r\n";
    f += "[Groups]\r\nH=\r\nF=\r\n";
    f += "[H]\r\nSlow=\r\nQuick=\r\n";
    f += "[F]\r\nLate=\r\n";
    f += "[Return codes]\r\nRC0=Done\r\n";
    f += "[HSlow]\r\nCommands=0,\"&Op\",\"\",0,\"W\",0,0,1,1,0,0,0\r\nAnswers=\"Total\",2,2\r\n";
    f += "[HQuick]\r\nCommands=0,\"&Op\",\"\",0,\"Q\",0,0,1,1,0,0,0\r\nAnswers=\"Total\",2,2\r\n";
    f += "[FLate]\r\nCommands=1,\"&Op\",\"\",0,\"SLOW\",0,0,0,0,0,0,0\r\n";
    return f;
}

Scenario ExchangeScenario()
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("W", 0, 0, 0, {"100"}, 400));
    s.HostRules.push_back(HostRule("Q", 0, 0, 0, {"250"}, 0));
    tallyhost::sim::FiscalRule late;
    late.Name = "Fiscal.SLOW";
    late.Match = "SLOW";
    late.Delay = Millis(600);
    s.FiscalRules.push_back(late);
    return s;
}

class ExchangeTest : public SendingTest
{
protected:
    void Start(int protocol = 1, bool fiscalPort = false)
    {
        StartSimulator(ExchangeScenario());
        if (fiscalPort) {
            // Wanted at start-up, so that the fiscal button shows the port enabled.
            std::unique_ptr<QSettings> store(NewUserSettingsStore());
            store->setValue(QStringLiteral("DGIEnabled"), true);
        }
        OpenFile(ExchangeFile(protocol), fiscalPort);
        // Keyboard shortcuts go to the active window.
        m_main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_main));
        QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnWrite, m_main,
                         [this](tallyhost::TFPHostControl*, const QByteArray& v) {
                             if (v.size() > 1)
                                 m_frames << v;
                         });
    }

    void ClickSend() { QTest::mouseClick(m_window->ButtonSend, Qt::LeftButton); }
    // As typed: to the widget that has the focus.
    void AltKey(Qt::Key key)
    {
        QWidget* focus = QApplication::focusWidget();
        ::AltKey(focus ? focus : m_main, key);
    }

    // The exchange is over and the operator has the window back.
    void ExpectControlsBack(bool repeat = true)
    {
        EXPECT_FALSE(m_window->CommandInProgress);
        EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
        EXPECT_TRUE(m_window->ButtonSend->isEnabled());
        EXPECT_EQ(m_window->ButtonRepeat->isEnabled(), repeat);
    }

    QString Entry(const QString& label) const
    {
        const auto [l, e] = SendingTest::Entry(label);
        return e ? e->text() : QStringLiteral("<none>");
    }

    QList<QByteArray> m_frames;
};

bool Extended(const QByteArray& frame)
{
    return frame.size() > 1 && static_cast<unsigned char>(frame[1]) > 0x80;
}

} // namespace

TEST_F(ExchangeTest, CancelEndsASendWithAbort)
{
    Start();
    Select("H", "Slow");
    ClickSend();
    EXPECT_EQ(Status(), "Sending ...");
    EXPECT_FALSE(m_window->TreeViewCommand->isEnabled());
    AltKey(Qt::Key_C);
    EXPECT_EQ(Status(), "Abort");
    ExpectControlsBack();
    // The printer's late answer and the link's report of the dropped command change nothing.
    QTest::qWait(700);
    EXPECT_EQ(Status(), "Abort");
    EXPECT_TRUE(m_dialogs.Boxes.empty()) << m_dialogs.Texts().join('|').toStdString();
    EXPECT_TRUE(m_window->AnswerLabels.empty());
}

TEST_F(ExchangeTest, RepeatByKeyboardAndCancelByMouse)
{
    Start();
    Select("H", "Quick");
    AnswerRepeatCount("3");
    AltKey(Qt::Key_R);
    // A repeat run ends with its state word and its summary.
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return Status().startsWith("Ready - Repeat 3: 3 sent, 3 answered, 0 errors;"); },
        8000))
        << Status().toStdString();
    EXPECT_EQ(m_frames.size(), 3);
    EXPECT_EQ(Entry("Total"), "2.50");
    ExpectControlsBack();

    Select("H", "Slow");
    AnswerRepeatCount("5");
    QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnWrite, m_window,
                     [this](tallyhost::TFPHostControl*, const QByteArray& v) {
                         if (v.size() > 1 && m_frames.size() == 5)
                             QTimer::singleShot(50, m_window, [this] {
                                 QTest::mouseClick(m_window->ButtonCancel, Qt::LeftButton);
                             });
                     });
    AltKey(Qt::Key_R);
    const QString aborted =
        QStringLiteral("Abort - Repeat 5: 2 sent, 1 answered, 0 errors; response min/median/max ");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status().startsWith(aborted); }, 3000))
        << Status().toStdString();
    QTest::qWait(600);
    EXPECT_EQ(m_frames.size(), 5) << "the run after Cancel is not sent";
    EXPECT_TRUE(Status().startsWith(aborted)) << Status().toStdString();
    ExpectControlsBack();
}

TEST_F(ExchangeTest, ClosingOrReplacingTheFileDuringARepeatLeavesNoCount)
{
    Start();
    Select("H", "Slow");
    AnswerRepeatCount("5");
    QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnWrite, m_main,
                     [this](tallyhost::TFPHostControl*, const QByteArray& v) {
                         if (v.size() > 1 && m_frames.size() == 1)
                             QTimer::singleShot(50, m_main,
                                                [this] { m_main->ActionClose->trigger(); });
                     });
    AltKey(Qt::Key_R);
    ASSERT_TRUE(QTest::qWaitFor([] { return FormChildTerminalWindow == nullptr; }, 3000));
    EXPECT_EQ(Status(), "Abort");

    // Replaced by a dropped file in the middle of a plain Send.
    m_main->OpenDroppedFile(m_path);
    ASSERT_TRUE(FormChildTerminalWindow);
    m_window = FormChildTerminalWindow;
    QTest::qWait(600); // the dropped command's answer
    Select("H", "Slow");
    ClickSend();
    EXPECT_EQ(Status(), "Sending ...");
    m_main->OpenDroppedFile(m_path);
    EXPECT_EQ(Status(), "Abort");
}

TEST_F(ExchangeTest, AFileOpenedDuringAnExchangeSendsInItsOwnProtocol)
{
    Start(0);
    const QString extended = m_dir.filePath(QStringLiteral("extended.thf"));
    {
        QFile f(extended);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ExchangeFile(1));
    }
    Select("H", "Slow");
    ClickSend();
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_frames.size() == 1; }, 2000));
    EXPECT_FALSE(Extended(m_frames[0]));

    // Opened through File > Open while the link is busy with the old file's command.
    m_dialogs.OpenAnswers = {extended};
    m_main->ActionOpen->trigger();
    ASSERT_TRUE(FormChildTerminalWindow);
    m_window = FormChildTerminalWindow;
    EXPECT_EQ(m_main->Settings.Protocol, 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return m_main->VardoFPHostControl1->State() == tallyhost::EFP_S_Idle; }, 3000));

    Select("H", "Quick");
    ClickSend();
    ASSERT_TRUE(WaitForStatus("Ready"));
    ASSERT_EQ(m_frames.size(), 2);
    EXPECT_TRUE(Extended(m_frames[1])) << m_frames[1].toHex().toStdString();
    // Laid out as an extended answer: return code first, the field named from position 3.
    EXPECT_EQ(Entry("Return code"), "0");
    EXPECT_EQ(Entry("Total"), "2.50");
}

TEST_F(ExchangeTest, PreferencesOkDuringAHostCommandEndsItAsFailed)
{
    Start();
    Select("H", "Slow");
    ClickSend();
    m_dialogs.OnDialog = [](QDialog&) { return int(QDialog::Accepted); };
    m_main->MenuItemGeneral->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Status() == "Error"; }, 1000))
        << Status().toStdString();
    ExpectControlsBack();
    EXPECT_EQ(m_main->VardoFPHostControl1->State(), tallyhost::EFP_S_Idle);

    // The reopened port carries the next command.
    Select("H", "Quick");
    ClickSend();
    ASSERT_TRUE(WaitForStatus("Ready"));
    EXPECT_EQ(Entry("Total"), "2.50");
}

TEST_F(ExchangeTest, ClosingTheFiscalPortDuringAFiscalCommandEndsIt)
{
    Start(1, true);
    Select("F", "Late");
    ClickSend();
    EXPECT_EQ(Status(), "Sending ...");
    QTest::mouseClick(m_main->ToolButtonFiscal, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return Status() == "Error"; }, 1000));
    EXPECT_FALSE(m_window->CommandInProgress);
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_FALSE(m_window->ButtonSend->isEnabled()) << "the fiscal port is closed now";

    // Enabled again and a fiscal command out: Preferences OK reopens the port under it.
    QTest::mouseClick(m_main->ToolButtonFiscal, Qt::LeftButton);
    ASSERT_TRUE(m_main->Settings.FiscalPortOpen);
    Select("H", "Quick");
    Select("F", "Late");
    ASSERT_TRUE(m_window->ButtonSend->isEnabled());
    ClickSend();
    EXPECT_EQ(Status(), "Sending ...");
    m_dialogs.OnDialog = [](QDialog&) { return int(QDialog::Accepted); };
    m_main->MenuItemGeneral->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Status() == "Error"; }, 1000));
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    QTest::qWait(800);
    EXPECT_TRUE(m_window->MemoFiscalAnswer->toPlainText().isEmpty());
}

TEST_F(ExchangeTest, ResetSerialPortsEndsASendAndStopsARepeat)
{
    Start();
    Select("H", "Slow");
    ClickSend();
    m_main->MenuItemResetserialports->trigger();
    EXPECT_EQ(Status(), "Ready");
    ExpectControlsBack();

    // Whether the dropped command had left before the reset is the worker's race; its late
    // answer (if any) is over before the run starts, and the run's frames are counted from here.
    QTest::qWait(600);
    const qsizetype before = m_frames.size();
    AnswerRepeatCount("4");
    // Reset once the printer has taken the run's first command (its ACK), while the answer is
    // still 400 ms away: a fixed point of the exchange, not a guess at the machine's speed.
    QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnAck, m_main,
                     [this, before](tallyhost::TFPHostControl*) {
                         if (m_frames.size() == before + 1)
                             QTimer::singleShot(0, m_main, [this] {
                                 m_main->MenuItemResetserialports->trigger();
                             });
                     });
    AltKey(Qt::Key_R);
    const QString stopped =
        QStringLiteral("Ready - Repeat 4: 1 sent, 0 answered, 0 errors; response "
                       "min/median/max -/-/- ms");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status() == stopped; }, 5000))
        << Status().toStdString();
    // The summary is the run's last word: with the window's controls back and the link idle,
    // nothing is left that could send a second run, so no time needs to pass to show it.
    ExpectControlsBack();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_main->VardoFPHostControl1->State() == tallyhost::EFP_S_Idle; }, 5000));
    EXPECT_EQ(m_frames.size(), before + 1) << "the repeat stops at the reset";
    EXPECT_TRUE(m_dialogs.Boxes.empty()) << m_dialogs.Texts().join('|').toStdString();
}

TEST_F(ExchangeTest, LinkReportsArriveWhileARealModalBoxIsOpen)
{
    Start();
    Select("H", "Slow");
    ClickSend();
    // The real boxes from here on: the About box opened from the Help menu by keyboard.
    TUserDialogs* recorded = SetUserDialogs(nullptr);
    bool answerSeenInsideTheBox = false;
    QString boxTitle;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, m_main, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        boxTitle = modal->windowTitle();
        if (Status() == "Ready") {
            answerSeenInsideTheBox =
                Entry("Total") == "1.00" && m_window->TreeViewCommand->isEnabled();
            QTest::keyClick(modal, Qt::Key_Escape);
            poll.stop();
        }
    });
    poll.start(20);
    QTimer::singleShot(5000, m_main, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    m_main->MenuItemHelpAbout->trigger(); // returns when the box has closed
    SetUserDialogs(recorded);
    EXPECT_FALSE(boxTitle.isEmpty());
    EXPECT_TRUE(answerSeenInsideTheBox);

    // A real error box: the printer does not answer; the box is up while the operator's
    // Cancel is not possible, and closing it gives the controls back.
}

TEST_F(ExchangeTest, TreePopupIsOutOfReachDuringAnExchangeOnly)
{
    Start();
    QTreeWidget* tree = m_window->TreeViewCommand;
    QTreeWidgetItem* root = tree->topLevelItem(0);
    ASSERT_TRUE(root);
    // A right click as the window system delivers it, so the tree gets its context menu event.
    const auto rightClick = [&](QTreeWidgetItem* item) {
        const QPoint at = tree->viewport()->mapTo(m_main, tree->visualItemRect(item).center());
        QTest::mouseClick(m_main->windowHandle(), Qt::RightButton, {}, at);
    };
    QMenu* popup = m_window->TerminalWindowPopupMenu;

    Select("H", "Slow");
    ClickSend();
    rightClick(root);
    QTest::qWait(50);
    EXPECT_FALSE(popup->isVisible()) << "the tree is disabled while the answer is awaited";
    // The click reaches the frame instead, which offers its own menu.
    if (QWidget* other = QApplication::activePopupWidget())
        QTest::keyClick(other, Qt::Key_Escape);
    ASSERT_TRUE(WaitForStatus("Ready"));

    tree->collapseAll();
    rightClick(root);
    ASSERT_TRUE(QTest::qWaitFor([popup] { return popup->isVisible(); }, 1000));
    QTest::keyClick(popup, Qt::Key_N); // &Nodes
    QMenu* nodes = m_window->MenuItemNodesCommand;
    ASSERT_TRUE(QTest::qWaitFor([nodes] { return nodes->isVisible(); }, 1000));
    QTest::keyClick(nodes, Qt::Key_Return); // its first entry, Expand all
    ASSERT_TRUE(QTest::qWaitFor([root] { return root->child(0)->isExpanded(); }, 1000));
    EXPECT_TRUE(root->child(1)->isExpanded());
    EXPECT_FALSE(popup->isVisible());
}

TEST_F(ExchangeTest, AHostPortThatFailedToOpenSaysWhichAndWhy)
{
    StartSimulator(ExchangeScenario());
    const QByteArray missing = m_dir.filePath(QStringLiteral("ttyUSB0")).toLocal8Bit();
    qputenv("TALLYHOST_COM1", missing);
    m_path = m_dir.filePath(QStringLiteral("failed.thf"));
    {
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ExchangeFile(1));
    }
    {
        // The fiscal port is wanted and opens; it must not make the status say "Ready".
        std::unique_ptr<QSettings> store(NewUserSettingsStore());
        store->setValue(QStringLiteral("DGIEnabled"), true);
        store->setValue(QStringLiteral("File"), m_path);
    }
    m_main = new TFormMain(QStringList{QStringLiteral("tallyhost")});
    const QString why = QString::fromLocal8Bit(missing) + ": No such file or directory";
    ASSERT_EQ(m_dialogs.Texts(), QStringList{"Error when trying to open the Host port\n" + why});
    EXPECT_TRUE(m_main->Settings.FiscalPortOpen);
    EXPECT_EQ(Status(), "Error");

    m_main->show();
    ASSERT_TRUE(QTest::qWaitFor([] { return FormChildTerminalWindow != nullptr; }, 2000));
    m_window = FormChildTerminalWindow;
    m_dialogs.Boxes.clear();
    Select("H", "Quick");
    ASSERT_TRUE(m_window->ButtonSend->isEnabled()); // the fiscal port is open
    ClickSend();
    EXPECT_EQ(m_dialogs.Texts(), QStringList{"The Host port is not open.\n" + why});
    EXPECT_EQ(Status(), "Error");
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_FALSE(m_window->CommandInProgress);
}
