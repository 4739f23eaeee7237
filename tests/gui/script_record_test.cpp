// Recording by gestures and running the result in the "Run script" window: two sends with
// Record down become two cases, which then pass on the same printer; a case edited to expect
// another status word fails and shows what it expected and what came.

#include "app/formrunscript.h"
#include "gui/logview.h"
#include "sending_fixture.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

using namespace sendingtest;

namespace {

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

TEST_F(SendingTest, RecordedSendsReplayInTheRunScriptWindow)
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("S", 0x0600, 0x0001, 0, {"12345", "311299"}));
    s.HostRules.push_back(HostRule("C", 0x0600, 0x0000, 0, {"echo"}));
    StartSimulator(s);
    OpenFile(DemoFile(1));
    const QString script = m_dir.filePath(QStringLiteral("bench.ths"));

    // Record down: the script is chosen in the save dialog.
    m_dialogs.SaveAnswers.push_back(script);
    QTest::mouseClick(m_window->ButtonRecord, Qt::LeftButton);
    ASSERT_TRUE(m_window->ButtonRecord->isChecked());
    EXPECT_EQ(m_window->RecordScript, script);

    Select("G", "Sale");
    QTest::mouseClick(m_window->ButtonSend, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReadText(script).contains("case Sale"); }, 8000));
    Select("G", "Count");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->ButtonSend->isEnabled(); }, 8000));
    QTest::mouseClick(m_window->ButtonSend, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReadText(script).contains("case Count"); }, 8000));
    const QString recorded = ReadText(script);
    EXPECT_TRUE(recorded.contains("  send G Sale Amount=12.5\n"
                                  "  expect printer-status 0001\n"
                                  "  expect fiscal-status 0600\n"
                                  "  expect return-code 0\n"))
        << recorded.toStdString();
    EXPECT_TRUE(recorded.contains("  expect field Echo = echo\n")) << recorded.toStdString();

    // Record up: further sends are not recorded.
    QTest::mouseClick(m_window->ButtonRecord, Qt::LeftButton);
    EXPECT_FALSE(m_window->ButtonRecord->isChecked());

    m_main->ActionRunScript->trigger();
    TFormRunScript* run = m_main->FormRunScript;
    ASSERT_TRUE(run);
    ASSERT_TRUE(run->isVisible());
    EXPECT_FALSE(run->ButtonRun()->isEnabled());
    QTest::keyClicks(run->EditScript(), script);
    ASSERT_TRUE(run->ButtonRun()->isEnabled());
    // The run goes on inside the click, its loops keeping the window live.
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    ASSERT_EQ(run->GridCases()->rowCount(), 2);
    const struct
    {
        const char* Case;
        const char* Result;
    } passed[] = {{"Sale", "Passed"}, {"Count", "Passed"}};
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(run->GridCases()->item(row, 0)->text(), passed[row].Case);
        EXPECT_EQ(run->GridCases()->item(row, 1)->text(), passed[row].Result);
    }
    EXPECT_EQ(run->ProgressBar()->value(), 2);
    EXPECT_EQ(run->ProgressBar()->maximum(), 2);
    // The terminal window's own exchanges are not disturbed: no box, its buttons back.
    EXPECT_TRUE(m_dialogs.Boxes.empty());
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());

    // Another expectation for the first case: it fails, and its details tell why.
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(
        recorded.toLatin1().replace("expect printer-status 0001", "expect printer-status 0000"));
    file.close();
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    ASSERT_EQ(run->GridCases()->rowCount(), 2);
    EXPECT_EQ(run->GridCases()->item(0, 1)->text(), "Failed");
    EXPECT_EQ(run->GridCases()->item(1, 1)->text(), "Passed");
    const QRect cell = run->GridCases()->visualItemRect(run->GridCases()->item(0, 0));
    QTest::mouseClick(run->GridCases()->viewport(), Qt::LeftButton, {}, cell.center());
    const QString details = run->MemoDetails()->Lines().join(u'\n');
    EXPECT_TRUE(details.startsWith("Line 6: printer status\nExpected: 0000\nActual: 0001\n"))
        << details.toStdString();
    EXPECT_TRUE(details.contains("HOST --> ")) << details.toStdString();
}

} // namespace
