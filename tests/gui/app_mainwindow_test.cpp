#include "app/formaboutbox.h"
#include "app/formpreferences.h"
#include "app/logwindow.h"
#include "app_fixture.h"
#include "core/profile.h"
#include "core/template.h"
#include "core/version.h"
#include "terminal/terminalwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QStandardPaths>
#include <QTest>
#include <QTextEdit>
#include <QUrl>

namespace {

std::string General(const QString& file, const char* key)
{
    return tallyhost::ProfileReadString(file.toStdString(), "General", key, "<missing>");
}

bool FileActionsEnabled(const TFormMain& w)
{
    return w.ActionClose->isEnabled() && w.ActionSaveAs->isEnabled() &&
           w.ActionEditFixAnswer->isEnabled() && w.ActionTestFixAnswer->isEnabled();
}

bool AnyFileActionEnabled(const TFormMain& w)
{
    return w.ActionClose->isEnabled() || w.ActionSaveAs->isEnabled() ||
           w.ActionEditFixAnswer->isEnabled() || w.ActionTestFixAnswer->isEnabled() ||
           w.ActionEditRC->isEnabled();
}

void Drop(TFormMain& w, const QStringList& files)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files)
        urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    const QPointF pos(50, 50);
    QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
}

} // namespace

TEST_F(AppShellTest, FirstStartStoresDefaultsAndOpensNothing)
{
    TFormMain& w = Start();

    EXPECT_EQ(w.Settings.HBaud, 3);
    EXPECT_EQ(w.Settings.DComm, 1);
    EXPECT_EQ(w.Settings.DTimeOut, 1000u);
    EXPECT_EQ(w.Settings.HComm, 0);
    EXPECT_TRUE(w.Settings.File.isEmpty());
    EXPECT_EQ(FormChildTerminalWindow, nullptr);
    EXPECT_EQ(FormChildLogWindow, nullptr);
    EXPECT_EQ(w.PanelText(1), QStringLiteral("Ready"));
    EXPECT_EQ(w.PanelText(2), QStringLiteral("COM1 9600,N,8,1"));
    EXPECT_EQ(w.PanelText(3), QStringLiteral("Disabled"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tallyhost"));

    // The store was created with the defaults before anything else happened.
    auto store = Store();
    EXPECT_EQ(store->value(QStringLiteral("HBaud")).toInt(), 3);
    EXPECT_EQ(store->value(QStringLiteral("DComm")).toInt(), 1);
    EXPECT_EQ(store->value(QStringLiteral("DTimeOut")).toInt(), 1000);
    EXPECT_EQ(store->value(QStringLiteral("DGIEnabled")).toInt(), 0);
    EXPECT_TRUE(store->contains(QStringLiteral("File")));
    EXPECT_TRUE(m_dialogs.Boxes.empty()) << m_dialogs.Texts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(AppShellTest, StatusBarPanelsHaveTheirWidthsAndShowLongHints)
{
    TFormMain& w = Start();
    EXPECT_EQ(w.StatusPanel(0)->width(), 300);
    EXPECT_GE(w.StatusPanel(1)->width(), 70);
    EXPECT_GE(w.StatusPanel(2)->width(), 150);
    EXPECT_GE(w.StatusPanel(3)->width(), 100);
    // Each port panel shows a whole port description in the font in use.
    for (int panel : {2, 3}) {
        QLabel* label = w.StatusPanel(panel);
        EXPECT_GE(label->contentsRect().width(),
                  label->fontMetrics().horizontalAdvance(QStringLiteral("COM2 9600,N,8,1")))
            << panel;
    }
    // The state panel grows for a long text rather than cutting it (in a frame wide enough).
    w.resize(1600, 600);
    const QString summary =
        QStringLiteral("Repeat 500: 500 sent, 498 answered, 2 errors; response min/median/max "
                       "41/44/120 ms");
    w.SetPanelText(1, summary);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return w.StatusPanel(1)->contentsRect().width() >=
               w.StatusPanel(1)->fontMetrics().horizontalAdvance(summary);
    }));

    // The long part of a "short|long" hint goes to panel 0, the short part is the tool tip.
    EXPECT_EQ(w.MenuItemHelpAbout->toolTip(), QStringLiteral("About"));
    w.MenuItemHelpAbout->showStatusText(&w);
    EXPECT_EQ(w.PanelText(0),
              QStringLiteral("Displays program information, version number, and copyright"));
    EXPECT_EQ(w.ActionOpen->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
}

TEST_F(AppShellTest, CommandLineArgumentRules)
{
    const QString remembered = WriteTerminalFile(QStringLiteral("remembered.thf"));
    Store()->setValue(QStringLiteral("File"), remembered);
    WriteTerminalFile(QStringLiteral("files/x.thf"));
    WriteTerminalFile(QStringLiteral("files/X.THF"));

    // A bare name is taken from the current directory and replaces the remembered file.
    {
        TFormMain& w = Start({QStringLiteral("x.thf")});
        EXPECT_EQ(w.Settings.File, Path(QStringLiteral("files/x.thf")));
        ASSERT_NE(FormChildTerminalWindow, nullptr);
        m_window.reset();
    }
    Store()->setValue(QStringLiteral("File"), remembered);
    // The extension test is case-sensitive: X.THF is ignored and the remembered file opens.
    for (const QString& ignored :
         {QStringLiteral("X.THF"), QStringLiteral("missing.thf"), QStringLiteral("notes.txt")}) {
        TFormMain& w = Start({ignored});
        EXPECT_EQ(w.Settings.File, remembered) << ignored.toStdString();
        EXPECT_NE(FormChildTerminalWindow, nullptr);
        m_window.reset();
    }
}

TEST_F(AppShellTest, DroppedFilesOpenOnlyTheFirstAndOnlyTerminalFiles)
{
    const QString upper = WriteTerminalFile(QStringLiteral("drop/A.THF"));
    const QString other = WriteTerminalFile(QStringLiteral("drop/b.thf"));
    const QString text = WriteTerminalFile(QStringLiteral("drop/readme.txt"));
    TFormMain& w = Start();

    // A text file first: nothing opens, even though a terminal file follows it.
    Drop(w, {text, other});
    EXPECT_EQ(FormChildTerminalWindow, nullptr);

    // The lower-cased extension is compared, so A.THF opens; the second file is ignored.
    Drop(w, {upper, other});
    EXPECT_EQ(w.Settings.File, upper);
    ASSERT_NE(FormChildTerminalWindow, nullptr);
    EXPECT_TRUE(FileActionsEnabled(w));

    // Dropping another file replaces the open one: still one terminal and one log window.
    Drop(w, {other});
    EXPECT_EQ(w.Settings.File, other);
    EXPECT_EQ(w.MdiArea()->subWindowList().size(), 2);
}

TEST_F(AppShellTest, ActionEnablingFollowsTheOpenFileAndItsProtocol)
{
    const QString compatible = WriteTerminalFile(QStringLiteral("c.thf"));
    const QString extended = WriteTerminalFile(QStringLiteral("e.thf"),
                                               "[General]\r\nProtocol=1\r\nInputDateFormat=3\r\n");
    TFormMain& w = Start();
    EXPECT_FALSE(AnyFileActionEnabled(w));
    EXPECT_TRUE(w.ActionNew->isEnabled() && w.ActionOpen->isEnabled() && w.ActionExit->isEnabled());
    EXPECT_FALSE(w.ActionWindowCascade->isEnabled()) << "no child window yet";

    m_dialogs.OpenAnswers.push_back(compatible);
    w.ActionOpen->trigger();
    EXPECT_TRUE(FileActionsEnabled(w));
    EXPECT_FALSE(w.ActionEditRC->isEnabled());
    EXPECT_TRUE(w.ActionWindowCascade->isEnabled());
    // Nothing remembered yet: both windows in view, the terminal window above the log.
    EXPECT_FALSE(FormChildTerminalWindow->isMinimized());
    EXPECT_FALSE(static_cast<QMdiSubWindow*>(FormChildLogWindow)->isMinimized());
    EXPECT_LE(FormChildTerminalWindow->geometry().bottom(),
              static_cast<QMdiSubWindow*>(FormChildLogWindow)->geometry().top());

    m_dialogs.OpenAnswers.push_back(extended);
    w.ActionOpen->trigger();
    EXPECT_EQ(w.Settings.Protocol, 1);
    EXPECT_EQ(w.Settings.InputDateFormat, 3);
    EXPECT_TRUE(w.ActionEditRC->isEnabled());
    EXPECT_EQ(m_dialogs.OpenRequests.back().caption, QStringLiteral("Open dialog"));
    EXPECT_EQ(m_dialogs.OpenRequests.back().filter,
              QStringLiteral("Tallyhost Files ( *.thf);;Test scripts (*.ths)"));

    // Cancel in the open dialog changes nothing.
    w.ActionOpen->trigger();
    EXPECT_EQ(w.Settings.File, extended);
    EXPECT_NE(FormChildTerminalWindow, nullptr);

    w.ActionClose->trigger();
    EXPECT_FALSE(AnyFileActionEnabled(w));
    EXPECT_FALSE(w.ActionWindowCascade->isEnabled());
    EXPECT_EQ(FormChildTerminalWindow, nullptr);
    EXPECT_EQ(FormChildLogWindow, nullptr);
    EXPECT_EQ(w.Settings.File, extended) << "Close keeps the file for the next start";
}

TEST_F(AppShellTest, ChildWindowsOnlyMinimizeOnTheirCloseBox)
{
    const QString file = WriteTerminalFile(QStringLiteral("t.thf"));
    Store()->setValue(QStringLiteral("File"), file);
    TFormMain& w = Start();
    ASSERT_NE(FormChildTerminalWindow, nullptr);
    auto* terminal = static_cast<QMdiSubWindow*>(FormChildTerminalWindow);
    auto* log = static_cast<QMdiSubWindow*>(FormChildLogWindow);
    terminal->close();
    log->close();
    EXPECT_EQ(w.MdiArea()->subWindowList().size(), 2);
    EXPECT_TRUE(terminal->isMinimized());
    EXPECT_NE(FormChildTerminalWindow, nullptr);
}

TEST_F(AppShellTest, NewAsksBeforeReplacingAChangedDefaultFile)
{
    TFormMain& w = Start();
    const std::string_view templ = tallyhost::DefaultTemplateText();
    const QByteArray expected(templ.data(), qsizetype(templ.size()));
    const QString target = Path(QStringLiteral("program/default.thf"));

    w.ActionNew->trigger();
    EXPECT_EQ(w.Settings.File, target);
    EXPECT_EQ(ReadAll(target), expected);
    ASSERT_NE(FormChildTerminalWindow, nullptr);
    // The template uses the compatible protocol: the disabled return-code editor says why.
    EXPECT_FALSE(w.ActionEditRC->isEnabled());
    EXPECT_TRUE(w.ActionEditRC->statusTip().contains("extended protocol"));
    // An unchanged default file is replaced without a word.
    w.ActionNew->trigger();
    EXPECT_TRUE(m_dialogs.Boxes.empty());

    struct Case
    {
        QMessageBox::StandardButton Answer;
        bool Replaced;
    };
    for (const Case c : {Case{QMessageBox::No, false}, Case{QMessageBox::Yes, true}}) {
        SCOPED_TRACE(c.Replaced);
        tallyhost::ProfileWriteString(target.toStdString(), "Groups", "Group1", "Edited");
        const QByteArray edited = ReadAll(target);
        ASSERT_NE(edited, expected);
        m_dialogs.Boxes.clear();
        m_dialogs.Answers.push_back(c.Answer);
        w.ActionNew->trigger();
        ASSERT_EQ(m_dialogs.Boxes.size(), 1u);
        EXPECT_EQ(m_dialogs.Boxes[0].icon, QMessageBox::Question);
        EXPECT_TRUE(m_dialogs.Boxes[0].text.contains(QDir::toNativeSeparators(target)));
        EXPECT_EQ(ReadAll(target), c.Replaced ? expected : edited);
        // Either way the file is open.
        EXPECT_EQ(w.Settings.File, target);
        EXPECT_NE(FormChildTerminalWindow, nullptr);
        EXPECT_EQ(w.MdiArea()->subWindowList().size(), 2);
    }
}

TEST_F(AppShellTest, NewFallsBackToTheDataDirectoryWhenTheProgramDirectoryIsReadOnly)
{
    TFormMain& w = Start();
    if (!LockDirectory(w.NewFileDirectory))
        GTEST_SKIP() << "cannot make a directory read-only here";
    w.ActionNew->trigger();
    const QString expected = QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                                 .filePath(QStringLiteral("default.thf"));
    EXPECT_EQ(w.Settings.File, expected);
    EXPECT_TRUE(QFileInfo(expected).isFile());
    EXPECT_TRUE(w.PanelText(0).contains(expected));
    EXPECT_TRUE(m_dialogs.Boxes.empty());
}

TEST_F(AppShellTest, SaveAsWritesSettingsFirstThenCopiesAndReopens)
{
    const QString original = WriteTerminalFile(QStringLiteral("orig.thf"));
    const QString existing =
        WriteTerminalFile(QStringLiteral("copy.thf"), "[General]\r\nold=1\r\n");
    Store()->setValue(QStringLiteral("File"), original);
    TFormMain& w = Start();
    w.Settings.Protocol = 1;
    w.Settings.OutputDateFormat = 7;

    m_dialogs.SaveAnswers.push_back(existing);
    w.ActionSaveAs->trigger();
    EXPECT_EQ(m_dialogs.SaveRequests.back().caption, QStringLiteral("Save as "));
    EXPECT_EQ(m_dialogs.SaveRequests.back().defaultSuffix, QStringLiteral("thf"));
    EXPECT_EQ(General(original, "Protocol"), "1") << "per-file settings go to the old file first";
    EXPECT_EQ(ReadAll(existing), ReadAll(original)) << "an existing file is overwritten";
    EXPECT_EQ(w.Settings.File, existing);
    EXPECT_EQ(w.Settings.Protocol, 1) << "reopened from the copy";
    EXPECT_EQ(w.Settings.OutputDateFormat, 7);
    EXPECT_TRUE(w.ActionEditRC->isEnabled());
    EXPECT_EQ(w.MdiArea()->subWindowList().size(), 2);

    // The same file chosen again is harmless: no box, still open.
    m_dialogs.SaveAnswers.push_back(existing);
    w.ActionSaveAs->trigger();
    EXPECT_TRUE(m_dialogs.Boxes.empty());
    EXPECT_EQ(w.Settings.File, existing);
    EXPECT_NE(FormChildTerminalWindow, nullptr);
}

TEST_F(AppShellTest, FailedSaveAsIsToldAndKeepsTheCurrentFile)
{
    const QString original = WriteTerminalFile(QStringLiteral("orig.thf"));
    Store()->setValue(QStringLiteral("File"), original);
    TFormMain& w = Start();
    auto* terminalBefore = FormChildTerminalWindow;

    const QString unreachable = Path(QStringLiteral("no/such/dir/copy.thf"));
    m_dialogs.SaveAnswers.push_back(unreachable);
    w.ActionSaveAs->trigger();
    ASSERT_EQ(m_dialogs.Boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.Boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(m_dialogs.Boxes[0].text.contains(unreachable));
    EXPECT_EQ(w.Settings.File, original);
    EXPECT_EQ(FormChildTerminalWindow, terminalBefore) << "the open file stays open";
    EXPECT_FALSE(QFileInfo::exists(unreachable));
}

TEST_F(AppShellTest, CloseThenExitWritesFileSettingsTwiceAndTheFileReopens)
{
    const QString file = WriteTerminalFile(QStringLiteral("work.thf"));
    Store()->setValue(QStringLiteral("File"), file);
    {
        TFormMain& w = Start();
        ASSERT_NE(FormChildTerminalWindow, nullptr);
        w.Settings.Protocol = 1;
        w.Settings.TVWidth = 0;
        w.ActionClose->trigger();
        EXPECT_EQ(General(file, "Protocol"), "1") << "written at Close";
        EXPECT_GT(w.Settings.TVWidth, 0u) << "the terminal window left its tree width";
        // Changed after Close (e.g. in Preferences): shutdown writes into the closed file.
        w.Settings.InputDateFormat = 4;
        Exit();
    }
    EXPECT_EQ(General(file, "InputDateFormat"), "4") << "written again at shutdown";
    EXPECT_EQ(Store()->value(QStringLiteral("File")).toString(), file);

    TFormMain& again = Start();
    EXPECT_EQ(again.Settings.File, file);
    EXPECT_NE(FormChildTerminalWindow, nullptr);
    EXPECT_EQ(again.Settings.Protocol, 1);
    EXPECT_EQ(again.Settings.InputDateFormat, 4);
}

TEST_F(AppShellTest, ShutdownStoresEverySettingAndTheTreeWidth)
{
    TFormMain& w = Start();
    w.Settings.TVWidth = 321;
    w.Settings.HComm = 2;
    w.Settings.HostColor = 0x0000FF;
    w.Settings.LowLevel = true;
    w.Settings.DTimeOut = 0;
    w.Settings.Devices[0] = QStringLiteral("/dev/ttyUSB0");
    Exit();

    TFormMain& again = Start();
    EXPECT_EQ(again.Settings.TVWidth, 321u);
    EXPECT_EQ(again.Settings.HComm, 2);
    EXPECT_EQ(again.Settings.HostColor, 0x0000FFu);
    EXPECT_TRUE(again.Settings.LowLevel);
    EXPECT_EQ(again.Settings.DTimeOut, 0u) << "a time-out of 0 is a value, not a missing key";
    EXPECT_EQ(again.Settings.Devices[0], QStringLiteral("/dev/ttyUSB0"));
    qunsetenv("TALLYHOST_COM1");
    EXPECT_EQ(EffectiveDevicePath(again.Settings, 0), QStringLiteral("/dev/ttyUSB0"))
        << "without an override the stored device is used";
    EXPECT_EQ(again.PanelText(2), QStringLiteral("COM3 9600,N,8,1"));
}

TEST_F(AppShellTest, GarbageStoredValuesDoNotBreakStartUp)
{
    {
        auto store = Store();
        store->setValue(QStringLiteral("File"), QString());
        store->setValue(QStringLiteral("HBaud"), QStringLiteral("fast"));
        store->setValue(QStringLiteral("HComm"), 258); // low byte 2
        store->setValue(QStringLiteral("DTimeOut"), QStringLiteral("soon"));
        store->setValue(QStringLiteral("LowLevel"), 7);
        store->setValue(QStringLiteral("Language"), 9);
    }
    TFormMain& w = Start();
    EXPECT_EQ(w.Settings.HBaud, 3) << "not a number: the default";
    EXPECT_EQ(w.Settings.HComm, 2) << "8-bit fields keep the low byte";
    EXPECT_EQ(w.Settings.DTimeOut, 1000u);
    EXPECT_TRUE(w.Settings.LowLevel);
    EXPECT_EQ(w.Settings.Language, 9);
    w.Settings.HBaud = 9;
    w.UpdatePortPanels();
    EXPECT_EQ(w.PanelText(2), QStringLiteral("COM3")) << "an unknown speed adds nothing";
}

TEST_F(AppShellTest, MissingRememberedFileOpensWithoutResurrectingIt)
{
    const QString gone = Path(QStringLiteral("gone/old.thf"));
    Store()->setValue(QStringLiteral("File"), gone);
    TFormMain& w = Start();
    EXPECT_EQ(w.Settings.File, gone);
    EXPECT_NE(FormChildTerminalWindow, nullptr);
    EXPECT_EQ(w.Settings.Protocol, 0);
    w.ActionClose->trigger();
    Exit();
    EXPECT_FALSE(QFileInfo::exists(gone)) << "no stub file holding only [General]";
    EXPECT_TRUE(m_dialogs.Boxes.empty());
}

TEST_F(AppShellTest, ReadOnlyTerminalFileIsReportedOnceAndKeptIntact)
{
    const QString file = WriteTerminalFile(QStringLiteral("locked/ro.thf"));
    const QByteArray before = ReadAll(file);
    Store()->setValue(QStringLiteral("File"), file);
    TFormMain& w = Start();
    if (!LockDirectory(Path(QStringLiteral("locked"))))
        GTEST_SKIP() << "cannot make a directory read-only here";
    w.Settings.Protocol = 1;
    w.ActionClose->trigger();
    Exit();
    ASSERT_EQ(m_dialogs.Boxes.size(), 1u) << m_dialogs.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(m_dialogs.Boxes[0].text, QStringLiteral("Unable to write to %1").arg(file));
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(Store()->value(QStringLiteral("File")).toString(), file)
        << "the other settings are still stored";
}

TEST_F(AppShellTest, FileAssociationIsRegisteredForTheUser)
{
    TFormMain& w = Start();
    const QString className = ExecutableBaseName();
    const QString mime = QString::fromUtf8(ReadAll(w.MimePackagePath(className)));
    const QString desktop = QString::fromUtf8(ReadAll(w.DesktopEntryPath(className)));
    const QString type = QStringLiteral("application/x-%1-thf").arg(className.toLower());
    EXPECT_TRUE(mime.contains(QStringLiteral("type=\"%1\"").arg(type))) << mime.toStdString();
    EXPECT_TRUE(mime.contains(QStringLiteral("pattern=\"*.thf\""))) << mime.toStdString();
    EXPECT_TRUE(mime.contains(QStringLiteral("pattern=\"*.ths\""))) << mime.toStdString();
    EXPECT_TRUE(desktop.contains(
        QStringLiteral("MimeType=%1;%2;").arg(type, QString(type).replace("-thf", "-ths"))));
    EXPECT_TRUE(
        desktop.contains(QStringLiteral("Exec=%1 %f").arg(QCoreApplication::applicationFilePath())))
        << desktop.toStdString();
    EXPECT_TRUE(mime.startsWith(QStringLiteral("<?xml")));
}

TEST_F(AppShellTest, EditActionsWorkOnTheFocusedTextControl)
{
    TFormMain& w = Start();
    auto* edit = new QLineEdit(QStringLiteral("hello world"), &w);
    edit->show();
    w.activateWindow();
    edit->setFocus();
    QApplication::processEvents();
    if (QApplication::focusWidget() != edit)
        GTEST_SKIP() << "the platform gives no keyboard focus";
    QGuiApplication::clipboard()->clear();

    EXPECT_FALSE(w.ActionEditCopy->isEnabled()) << "nothing selected";
    edit->setSelection(0, 5);
    EXPECT_TRUE(w.ActionEditCopy->isEnabled());
    EXPECT_TRUE(w.ActionEditCut->isEnabled());
    w.ActionEditCut->trigger();
    EXPECT_EQ(edit->text(), QStringLiteral(" world"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("hello"));
    EXPECT_TRUE(w.ActionEditPaste->isEnabled());
    edit->setCursorPosition(edit->text().size());
    w.ActionEditPaste->trigger();
    EXPECT_EQ(edit->text(), QStringLiteral(" worldhello"));

    edit->setReadOnly(true);
    edit->selectAll();
    EXPECT_TRUE(w.ActionEditCopy->isEnabled());
    EXPECT_FALSE(w.ActionEditCut->isEnabled()) << "nothing can be cut from a read-only text";
}

TEST_F(AppShellTest, WindowMenuListsTheChildWindows)
{
    const QString file = WriteTerminalFile(QStringLiteral("menu.thf"));
    Store()->setValue(QStringLiteral("File"), file);
    TFormMain& w = Start();
    emit w.MenuWindow->aboutToShow();
    QStringList texts;
    for (QAction* action : w.MenuWindow->actions())
        if (!action->isSeparator())
            texts << action->text();
    EXPECT_EQ(texts.size(), 7) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("&2 Log window")))
        << texts.join(QLatin1Char('|')).toStdString();

    // Picking the minimized log window from the menu brings it back.
    for (QAction* action : w.MenuWindow->actions())
        if (action->text() == QStringLiteral("&2 Log window"))
            action->trigger();
    EXPECT_FALSE(static_cast<QMdiSubWindow*>(FormChildLogWindow)->isMinimized());
}

TEST_F(AppShellTest, AboutBoxShowsTheBuildsVersionStrings)
{
    TFormAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About ..."));
    EXPECT_EQ(box.RxLabelProductName->text().toStdString(),
              tallyhost::VersionString("ProductName"));
    EXPECT_EQ(box.RxLabelFileVersion->text().toStdString(),
              tallyhost::VersionString("FileVersion"));
    EXPECT_EQ(box.RxLabelCompanyName->text().toStdString(),
              tallyhost::VersionString("CompanyName"));
    EXPECT_EQ(box.RxLabelCopyRigths->text().toStdString(),
              tallyhost::VersionString("LegalCopyright"));
    EXPECT_FALSE(box.RxLabelProductName->text().isEmpty());
    EXPECT_FALSE(box.ImageProgramIcon->pixmap().isNull());

    // Help, About runs it modally through the dialog seam.
    TFormMain& w = Start();
    m_dialogs.OnDialog = [](QDialog& dialog) {
        EXPECT_NE(qobject_cast<TFormAboutBox*>(&dialog), nullptr);
        return int(QDialog::Accepted);
    };
    w.MenuItemHelpAbout->trigger();
    EXPECT_EQ(m_dialogs.DialogCount, 1);
}

TEST_F(AppShellTest, UnwritableSettingsStoreIsToldAtShutdown)
{
    TFormMain& w = Start();
    const QString storeFile = Store()->fileName();
    const QByteArray before = ReadAll(storeFile);
    if (!LockDirectory(QFileInfo(storeFile).absolutePath()))
        GTEST_SKIP() << "cannot make a directory read-only here";
    w.Settings.HComm = 3;
    Exit();
    ASSERT_EQ(m_dialogs.Boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.Boxes[0].text, QStringLiteral("Unable to write to %1").arg(storeFile));
    EXPECT_EQ(ReadAll(storeFile), before) << "the stored settings are left as they were";
}

TEST_F(AppShellTest, TilingAndArrangingPlaceTheChildWindowsWithoutOverlap)
{
    const QString file = WriteTerminalFile(QStringLiteral("tile.thf"));
    Store()->setValue(QStringLiteral("File"), file);
    TFormMain& w = Start();
    w.resize(900, 700);
    QApplication::processEvents();
    QMdiSubWindow* terminal = FormChildTerminalWindow;
    QMdiSubWindow* log = FormChildLogWindow;
    const QRect area = w.MdiArea()->viewport()->rect();

    log->showNormal();
    w.ActionWindowTileVertical->trigger();
    EXPECT_FALSE(terminal->isMaximized());
    EXPECT_FALSE(terminal->geometry().intersects(log->geometry()));
    EXPECT_EQ(terminal->geometry().top(), area.top());
    EXPECT_EQ(terminal->height(), area.height());
    EXPECT_EQ(terminal->width() + log->width(), area.width());

    w.ActionWindowTileHorizontal->trigger();
    EXPECT_FALSE(terminal->geometry().intersects(log->geometry()));
    EXPECT_EQ(terminal->width(), area.width());
    EXPECT_EQ(terminal->height() + log->height(), area.height());

    // Minimize All lines the icons up along the bottom edge.
    w.ActionWindowMinimizeAll->trigger();
    ASSERT_TRUE(terminal->isMinimized() && log->isMinimized());
    EXPECT_FALSE(terminal->geometry().intersects(log->geometry()));
    EXPECT_EQ(terminal->geometry().bottom(), area.bottom());
    EXPECT_EQ(log->geometry().bottom(), area.bottom());
}

TEST_F(AppShellTest, MalformedTerminalFileOpensWithCompatibleDefaults)
{
    QByteArray garbage("[General]\r\nProtocol=extended\r\nInputDateFormat=\r\n[Groups\r\n=\r\n");
    for (int i = 0; i < 256; ++i)
        garbage.append(char(i));
    const QString file = WriteTerminalFile(QStringLiteral("bad.thf"), garbage);
    Store()->setValue(QStringLiteral("File"), file);
    TFormMain& w = Start();
    EXPECT_NE(FormChildTerminalWindow, nullptr);
    EXPECT_EQ(w.Settings.Protocol, 0) << "a value that is not a number reads as 0";
    EXPECT_FALSE(w.ActionEditRC->isEnabled());
    Exit();
    // Only the per-file keys were written; nothing of the operator's bytes was lost.
    const QByteArray after = ReadAll(file);
    EXPECT_TRUE(after.contains("Protocol=0\r\n"));
    EXPECT_TRUE(after.contains(garbage.mid(garbage.indexOf("[Groups"), 40)));
    EXPECT_TRUE(after.contains(garbage.right(200)));
}
