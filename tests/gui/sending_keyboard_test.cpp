// The terminal window driven from the keyboard and the mouse, as the operator does: Alt
// shortcuts of the buttons beside fields whose captions want the same letters, and the long
// hints that panel 0 of the status bar shows for the window's controls.

#include "sending_fixture.h"

#include "core/accelerator.h"
#include "editors/fieldtypecombobox.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace sendingtest;

namespace {

// Sign has fields that want S (Send) and C (Cancel), and an answer field that wants M (the
// Commands tab); Sale wants C and A (Host Answer tab).
QByteArray KeyboardFile()
{
    return "[General]\r\nProtocol=0\r\n[Groups]\r\nG=\r\n[G]\r\nSign=\r\nSale=\r\n"
           "[GSign]\r\nCommands=0,\"&Sign\",\"\",0,\"SIGN\",0,0,0,0,0,0,0,"
           "0,\"&Code\",\"\",0,\"7\",0,0,0,0,0,0,0,"
           "0,\"&Name\",\"\",0,\"N\",0,0,0,0,0,0,0\r\nAnswers=\"&Mode\",0,0\r\n"
           "[GSale]\r\nCommands=0,\"&Code\",\"\",0,\"SLOW\",0,0,0,0,0,0,0,"
           "0,\"&Amount\",\"Amount to pay|The amount of the sale, with two decimals\",2,"
           "\"12.5\",0,10,0,0,10,2,0\r\nAnswers=\r\n";
}

} // namespace

TEST_F(SendingTest, AltShortcutsOfTheButtonsWinOverFieldCaptions)
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("SLOW", 0, 0, 0, {}, 3000));
    StartSimulator(s);
    OpenFile(KeyboardFile());
    Select("G", "Sign");
    QApplication::setActiveWindow(m_main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_main));

    // No field label takes a letter of the buttons, the tabs or the menus; the fields whose
    // letters are free keep them.
    const std::string window = "SRCMAF";
    for (int i = 0; i < m_window->Definition.FieldCount; ++i) {
        const char letter =
            tallyhost::AcceleratorLetter(m_window->FieldLabels[i]->text().toStdString());
        EXPECT_EQ(window.find(letter), std::string::npos)
            << m_window->FieldLabels[i]->text().toStdString();
    }
    EXPECT_EQ(m_window->FieldLabels[2]->text(), "&Name");

    // Alt+N reaches its field; Alt+S sends (it used to only move the focus to "Sign").
    QTest::keyClick(m_window, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(m_window->FieldInputs[2]->hasFocus() ||
                m_window->FieldInputs[2]->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(m_window, Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_framesWritten == 1; }, 2000));
    ASSERT_TRUE(WaitForStatus("Ready"));
    // The answer brought its tab to the front; Alt+M brings the commands back, although an
    // answer label on that tab wanted the letter.
    EXPECT_EQ(m_window->PageControl->currentWidget(), m_window->TabSheetAnswer);
    ASSERT_FALSE(m_window->AnswerLabels.empty());
    EXPECT_EQ(m_window->AnswerLabels[0]->text().remove('&'), "Mode");
    EXPECT_NE(tallyhost::AcceleratorLetter(m_window->AnswerLabels[0]->text().toStdString()), 'M');
    QTest::keyClick(m_window, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(m_window->PageControl->currentWidget(), m_window->TabSheetCommand);

    // The moved letter of "Code" focuses the Code field.
    const char moved = tallyhost::AcceleratorLetter(m_window->FieldLabels[1]->text().toStdString());
    ASSERT_NE(moved, 0);
    QTest::keyClick(m_window, static_cast<Qt::Key>(Qt::Key_A + (moved - 'A')), Qt::AltModifier);
    EXPECT_TRUE(m_window->FieldInputs[1]->isAncestorOf(QApplication::focusWidget()) ||
                m_window->FieldInputs[1]->hasFocus());

    // Alt+C cancels a command in progress (it used to cycle between the Code fields).
    Select("G", "Sale");
    ASSERT_TRUE(m_window->ButtonCancel->isVisible());
    QTest::keyClick(m_window, Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_window->CommandInProgress; }, 2000));
    EXPECT_FALSE(m_window->TreeViewCommand->isEnabled());
    QTest::keyClick(m_window, Qt::Key_C, Qt::AltModifier);
    // A button's shortcut clicks it the way a mouse does, a moment later.
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_window->CancelRequested; }, 1000));
    EXPECT_FALSE(m_window->CommandInProgress);
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
}

TEST_F(SendingTest, ButtonsAndStatusBoxesPutTheirLongHintInPanelZero)
{
    StartSimulator(QuickScenario());
    OpenFile(KeyboardFile());
    Select("G", "Sale");
    QApplication::setActiveWindow(m_main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_main));

    auto hover = [this](QWidget* widget, QPoint at = QPoint(5, 5)) {
        QTest::mouseMove(m_window->TreeViewCommand->viewport(), QPoint(2, 2));
        m_main->SetPanelText(0, QString());
        QTest::mouseMove(widget, at);
        return m_main->PanelText(0);
    };
    EXPECT_EQ(hover(m_window->ButtonSend), "Send selected command");
    EXPECT_EQ(hover(m_window->ButtonRepeat), "Send commands \"n\" times");
    EXPECT_EQ(hover(m_window->ButtonCancel), "Cancel command in progress");
    // A field's hint: the short part as its tool tip, the long part in the status bar.
    EXPECT_EQ(hover(m_window->FieldInputs[1]), "The amount of the sale, with two decimals");
    EXPECT_EQ(m_window->FieldInputs[1]->toolTip(), "Amount to pay");

    m_window->ButtonSend->click();
    ASSERT_TRUE(WaitForStatus("Ready"));
    ASSERT_TRUE(m_window->GroupBoxFiscalAnswer->isVisible());
    EXPECT_EQ(hover(m_window->GroupBoxFiscalAnswer, QPoint(3, 3)), "Decode Fiscal state");
    EXPECT_EQ(hover(m_window->GroupBoxPrinterAnswer, QPoint(3, 3)), "Decode Printer state");
}
