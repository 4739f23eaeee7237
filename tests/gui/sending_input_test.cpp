// Values and links the window must refuse or survive: bad escapes, bytes the link refuses,
// frames too long, closed ports and a window that goes away while it waits.

#include "sending_fixture.h"

#include "editors/fieldtypecombobox.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>

using namespace sendingtest;

namespace {

void SetFieldText(TFormChildTerminalWindow* w, int field, const QString& text)
{
    auto* box = qobject_cast<TFieldTypeComboBox*>(w->FieldInputs[field]);
    ASSERT_TRUE(box);
    box->setText(text);
}

} // namespace

TEST_F(SendingTest, RefusedValuesSendNothingAndSayWhy)
{
    StartSimulator(QuickScenario());
    OpenFile(DemoFile(0)); // the compatible protocol carries 0x20..0x7F only
    Select("G", "Count");
    m_window->activateWindow();

    struct Case
    {
        QString text;
        const char* why;
    };
    const Case cases[] = {
        {QStringLiteral("x'4G'"), "a pair that is not hexadecimal"},
        {QStringLiteral("A x'01'"), "a byte the compatible protocol lacks"},
        {QString::fromUtf8("\u20AC5"), "a character no byte can carry"},
    };
    for (const Case& c : cases) {
        m_dialogs.Boxes.clear();
        SetFieldText(m_window, 1, c.text);
        ASSERT_EQ(qobject_cast<TFieldTypeComboBox*>(m_window->FieldInputs[1])->text(), c.text);
        m_window->ButtonSendClick();
        ASSERT_EQ(m_dialogs.Boxes.size(), 1u) << c.why;
        // The box names the field by its caption, without the accelerator mark.
        EXPECT_EQ(m_dialogs.Boxes[0].text, "Bad user data input in control \"Text\"") << c.why;
        EXPECT_EQ(Status(), "Error") << c.why;
        EXPECT_FALSE(m_window->CommandInProgress) << c.why;
        EXPECT_TRUE(m_window->ButtonSend->isEnabled()) << c.why;
        EXPECT_TRUE(m_window->ButtonRepeat->isEnabled()) << c.why;
        EXPECT_EQ(m_main->VardoFPHostControl1->State(), tallyhost::EFP_S_Idle) << c.why;
    }
    QTest::qWait(100);
    EXPECT_EQ(m_framesWritten, 0);

    // The refused value got nothing into the link: the next good command goes out alone.
    SetFieldText(m_window, 1, QStringLiteral("fine"));
    m_window->ButtonSendClick();
    ASSERT_TRUE(WaitForStatus("Ready"));
    EXPECT_EQ(m_framesWritten, 1);

    // Repeating stops at the first run, and gives the tree back.
    SetFieldText(m_window, 1, QStringLiteral("x'4G'"));
    m_dialogs.Boxes.clear();
    AnswerRepeatCount("3");
    m_window->ButtonRepeatClick();
    ASSERT_EQ(m_dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Status(), "Error");
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_EQ(m_framesWritten, 1);
}

TEST_F(SendingTest, AFrameTooLongForTheLinkIsRefusedWithoutABox)
{
    StartSimulator(QuickScenario());
    OpenFile(DemoFile(1));
    Select("G", "Sale");
    SetFieldText(m_window, 0, QString(3000, QLatin1Char('A')));
    m_window->ButtonSendClick();
    EXPECT_EQ(Status(), "Error");
    EXPECT_TRUE(m_dialogs.Boxes.empty());
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_FALSE(m_window->CommandInProgress);
    QTest::qWait(100);
    EXPECT_EQ(m_framesWritten, 0);
}

TEST_F(SendingTest, AClosedHostPortEndsTheWaitInsteadOfHanging)
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("C", 0, 0, 0, {}, 300));
    StartSimulator(s);
    OpenFile(DemoFile(1));
    Select("G", "Count");

    // Closed while a repeat run waits for the printer: the run ends with "Error".
    AnswerRepeatCount("3");
    QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnWrite, m_main,
                     [this](tallyhost::TFPHostControl* link, const QByteArray& v) {
                         if (v.size() > 1)
                             QMetaObject::invokeMethod(
                                 m_main, [link] { link->ClosePort(); }, Qt::QueuedConnection);
                     });
    m_window->ButtonRepeatClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return Status() == "Error"; }, 5000));
    EXPECT_EQ(m_framesWritten, 1);
    EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());

    // Send on the closed port returns at once, refused.
    m_window->ButtonSendClick();
    EXPECT_EQ(Status(), "Error");
    EXPECT_FALSE(m_window->CommandInProgress);
}

TEST_F(SendingTest, TheWindowMayGoAwayWhileARepeatWaits)
{
    Scenario s = QuickScenario();
    s.HostRules.push_back(HostRule("C", 0, 0, 0, {}, 300));
    StartSimulator(s);
    OpenFile(DemoFile(1));
    Select("G", "Count");

    AnswerRepeatCount("5");
    QObject::connect(m_main->VardoFPHostControl1, &tallyhost::TFPHostControl::OnWrite, m_main,
                     [this](tallyhost::TFPHostControl*, const QByteArray& v) {
                         if (v.size() > 1)
                             QMetaObject::invokeMethod(
                                 m_main, [this] { m_main->CloseTerminalWindows(); },
                                 Qt::QueuedConnection);
                     });
    QPointer<TFormChildTerminalWindow> window(m_window);
    window->ButtonRepeatClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_EQ(FormChildTerminalWindow, nullptr);
    EXPECT_EQ(m_framesWritten, 1);
    // The answer that still comes finds no window and harms nothing.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return m_main->VardoFPHostControl1->State() == tallyhost::EFP_S_Idle; }, 5000));
}

TEST_F(SendingTest, ARequiredFieldLeftEmptyIsNamedFocusedAndNothingIsSent)
{
    StartSimulator(QuickScenario());
    OpenFile(DemoFile(1));
    Select("G", "Sale");
    m_window->activateWindow();
    SetFieldText(m_window, 1, QString()); // Amount is Required
    for (QPushButton* button : {m_window->ButtonSend, m_window->ButtonRepeat}) {
        m_dialogs.Boxes.clear();
        AnswerRepeatCount("2");
        m_window->ButtonCancel->setFocus();
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(m_dialogs.Boxes.size(), 1u) << button->text().toStdString();
        EXPECT_EQ(m_dialogs.Boxes[0].text, "Bad user data input in control \"Amount\"");
        EXPECT_EQ(QApplication::focusWidget(), m_window->FieldInputs[1]);
        EXPECT_EQ(Status(), "Error");
        EXPECT_TRUE(m_window->TreeViewCommand->isEnabled());
        EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    }
    EXPECT_EQ(m_framesWritten, 0);
}
