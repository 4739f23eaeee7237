// The log's own settings as the operator meets them: "Log every byte" and the colours of the
// set-aside bytes in Preferences, and the view's columns kept from one start to the next.

#include "app/formpreferences.h"
#include "app/logwindow.h"
#include "app_fixture.h"
#include "gui/logview.h"
#include "gui/notifications.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

TEST_F(AppShellTest, LogEveryByteAndTheViewColumnsAreStoredAndComeBack)
{
    const QString file = WriteTerminalFile(QStringLiteral("w.thf"));
    Store()->setValue(QStringLiteral("File"), file);
    TFormMain& w = Start();
    ASSERT_TRUE(QTest::qWaitFor([] { return FormChildLogWindow != nullptr; }, 3000));
    EXPECT_FALSE(w.Settings.LogEveryByte);
    EXPECT_EQ(w.Settings.BadFrameColor, 0x0000FFu) << "red by default";

    m_dialogs.OnDialog = [](QDialog& dialog) {
        auto& p = dynamic_cast<TFormPreferences&>(dialog);
        EXPECT_FALSE(p.CheckBoxLogEveryByte->isChecked());
        EXPECT_EQ(p.ColorComboBoxBadFrameColor->currentText(), QStringLiteral("Red"));
        EXPECT_EQ(p.ColorComboBoxLateColor->currentText(), QStringLiteral("Maroon"));
        p.CheckBoxLogEveryByte->setChecked(true);
        p.ColorComboBoxNoiseColor->setCurrentIndex(12); // Blue
        p.ButtonOk->click();
        return p.result();
    };
    w.MenuItemGeneral->trigger();
    EXPECT_TRUE(w.Settings.LogEveryByte);
    EXPECT_EQ(w.Settings.NoiseColor, 0xFF0000u);

    // The log window took the change: noise now reaches the file too, in the new colour.
    TFormChildLogWindow* log = FormChildLogWindow;
    PostNotification(log, WM_LOG_WIRE, QByteArray("zz"), 3);
    QCoreApplication::sendPostedEvents();
    log->FlushPendingLines();
    EXPECT_TRUE(ReadAll(log->LogFileName()).endsWith("NOISE -> host, 2 bytes: 7A 7A \r\n"));
    TLogView* view = log->RichEditLog();
    EXPECT_EQ(view->RowColor(view->RowCount() - 1), QColor(0, 0, 255));

    // The operator turns the time column on in the log window and leaves.
    log->showNormal();
    log->activateWindow();
    log->RichEditLog()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(log->RichEditLog(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(log->ActionTimeColumn()->isChecked());
    Exit();
    EXPECT_EQ(Store()->value(QStringLiteral("LogEveryByte")).toInt(), 1);
    EXPECT_EQ(Store()->value(QStringLiteral("LogTimeColumn")).toInt(), 1);

    // The next start comes back with both.
    TFormMain& again = Start();
    EXPECT_TRUE(again.Settings.LogEveryByte);
    EXPECT_EQ(again.Settings.NoiseColor, 0xFF0000u);
    ASSERT_TRUE(QTest::qWaitFor([] { return FormChildLogWindow != nullptr; }, 3000));
    EXPECT_TRUE(FormChildLogWindow->ActionTimeColumn()->isChecked());
    EXPECT_FALSE(FormChildLogWindow->ActionTextColumn()->isChecked());
    EXPECT_FALSE(FormChildLogWindow->ActionResponseTime()->isChecked());
}
