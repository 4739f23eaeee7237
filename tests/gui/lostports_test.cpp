// A port whose device vanishes and comes back (a USB adapter pulled out and plugged in again),
// played by a pseudo-terminal behind a symbolic link that disappears and returns: the main
// window ends the command, logs and shows the loss, and reopens the port by itself.

#include "app/formmain.h"
#include "app/formpreferences.h"
#include "app/logwindow.h"
#include "app/settings.h"
#include "core/template.h"
#include "gui/logview.h"
#include "gui/messagebox.h"
#include "gui/notifications.h"
#include "links/fphostcontrol.h"
#include "tests/links/ptyprinter.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include <unistd.h>

using namespace std::chrono_literals;
using tallyhost::testing::PtyPrinter;

namespace {

template <typename Pred> bool RunUntil(Pred pred, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout.count());
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class LostPortTest : public ::testing::Test
{
protected:
    TRecordedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<PtyPrinter> printer = std::make_unique<PtyPrinter>();
    std::unique_ptr<TFormMain> main;

    QString HostLink() const { return dir.filePath(QStringLiteral("host")); }

    void SetUp() override
    {
        ASSERT_TRUE(printer->Ok());
        Plug();
        qputenv("TALLYHOST_COM1", HostLink().toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           dir.filePath(QStringLiteral("config")));
        std::unique_ptr<QSettings> store(NewUserSettingsStore());
        store->clear();
        store->setValue(QStringLiteral("HComm"), 0);
        store->setValue(QStringLiteral("HBaud"), 3);
        store->setValue(QStringLiteral("DGIEnabled"), 0);
        store->setValue(QStringLiteral("File"), QString());
    }
    void TearDown() override
    {
        main.reset();
        std::unique_ptr<QSettings> store(NewUserSettingsStore());
        store->clear();
        qunsetenv("TALLYHOST_COM1");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }

    void Plug()
    {
        QFile::remove(HostLink());
        ASSERT_TRUE(QFile::link(QString::fromStdString(printer->DevicePath()), HostLink()));
    }
    // The adapter is pulled out: its device hangs up and its name leads nowhere.
    void Unplug()
    {
        QFile::remove(HostLink());
        printer.reset();
    }
    void PlugNew()
    {
        printer = std::make_unique<PtyPrinter>();
        ASSERT_TRUE(printer->Ok());
        Plug();
    }

    void Start()
    {
        main = std::make_unique<TFormMain>(QStringList{QStringLiteral("tallyhost")});
        const QString file = dir.filePath(QStringLiteral("printer.thf"));
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        const auto text = tallyhost::DefaultTemplateText();
        out.write(text.data(), qint64(text.size()));
        out.close();
        main->Settings.File = file;
        main->OpenTerminalFile();
        ASSERT_NE(FormChildLogWindow, nullptr);
    }

    QStringList ViewLines()
    {
        QCoreApplication::sendPostedEvents();
        FormChildLogWindow->FlushPendingLines();
        QStringList lines = FormChildLogWindow->RichEditLog()->Lines();
        lines.removeAll(QString());
        return lines;
    }

    // The operator's "Reopen lost ports" on the Devices tab of Preferences, by keyboard.
    void SetReopenInPreferences(bool on)
    {
        dialogs.OnDialog = [on](QDialog& dialog) {
            auto& p = dynamic_cast<TFormPreferences&>(dialog);
            p.show();
            p.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&p));
            QTest::keyClick(&p, Qt::Key_D, Qt::AltModifier); // "&Devices"
            EXPECT_EQ(p.PageControl->tabText(p.PageControl->currentIndex()),
                      QStringLiteral("&Devices"));
            if (p.CheckBoxReopenLostPorts->isChecked() != on)
                QTest::keyClick(&p, Qt::Key_R, Qt::AltModifier); // "&Reopen lost ports"
            // A mnemonic clicks the box with a short animation.
            EXPECT_TRUE(
                RunUntil([&] { return p.CheckBoxReopenLostPorts->isChecked() == on; }, 1000ms));
            QTest::mouseClick(p.ButtonOk, Qt::LeftButton);
            return p.result();
        };
        main->MenuItemGeneral->trigger();
        dialogs.OnDialog = nullptr;
    }

    // Preferences opened and closed with OK, changing nothing; `look` sees the dialog first.
    void PressOkInPreferences(const std::function<void(TFormPreferences&)>& look = {})
    {
        dialogs.OnDialog = [look](QDialog& dialog) {
            auto& p = dynamic_cast<TFormPreferences&>(dialog);
            p.show();
            p.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&p));
            if (look)
                look(p);
            QTest::mouseClick(p.ButtonOk, Qt::LeftButton);
            return p.result();
        };
        main->MenuItemGeneral->trigger();
        dialogs.OnDialog = nullptr;
    }

    // One more turn of the port watch.
    bool NextWatchTick()
    {
        QSignalSpy tick(main->findChild<QTimer*>(QStringLiteral("PortWatch")), &QTimer::timeout);
        return tick.wait(3000);
    }
};

} // namespace

TEST_F(LostPortTest, CommandEndsAsAnErrorAndThePortComesBackByItself)
{
    Start();
    tallyhost::TFPHostControl* link = main->VardoFPHostControl1;
    ASSERT_EQ(link->State(), tallyhost::EFP_S_Idle);
    const int before = int(ViewLines().size());
    int errors = 0;
    QObject::connect(link, &tallyhost::TFPHostControl::OnError, [&](auto*) { ++errors; });

    ASSERT_TRUE(link->AddDataField("*"));
    ASSERT_TRUE(link->SendCommand());
    ASSERT_EQ(printer->Read(8, 2000ms).size(), 8u);
    Unplug();
    // Ended by the hang-up, not by the 2.5 s silence.
    ASSERT_TRUE(RunUntil([&] { return errors == 1; }, 1500ms));
    ASSERT_TRUE(RunUntil([&] { return main->HostPortLost(); }, 2500ms));
    EXPECT_EQ(link->State(), tallyhost::EFP_S_Close);
    EXPECT_FALSE(main->Settings.HostPortOpen);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 lost"));
    // The log view lays out quiet-moment lines a little later, in one batch.
    EXPECT_TRUE(RunUntil([&] { return ViewLines().size() > before + 1; }, 1000ms));
    const QStringList lost = ViewLines().mid(before + 1); // after the command frame
    ASSERT_EQ(lost.size(), 1) << lost.join(u'|').toStdString();
    EXPECT_TRUE(lost[0].startsWith("HOST --> COM1 lost (" + HostLink() + ": "))
        << lost[0].toStdString();
    // The failed exchange is reported as any other; the port itself raises no box.
    EXPECT_FALSE(dialogs.Texts().join(u'|').contains(QStringLiteral("open")))
        << dialogs.Texts().join(u'|').toStdString();

    // Still away a while: tried again, quietly.
    QTest::qWait(1200);
    EXPECT_EQ(link->State(), tallyhost::EFP_S_Close);
    EXPECT_EQ(ViewLines().size(), before + 2);

    PlugNew();
    const auto back = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunUntil([&] { return link->State() == tallyhost::EFP_S_Idle; }, 2500ms));
    EXPECT_LE(std::chrono::steady_clock::now() - back, 2s);
    EXPECT_FALSE(main->HostPortLost());
    EXPECT_TRUE(main->Settings.HostPortOpen);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 9600,N,8,1"));
    EXPECT_EQ(ViewLines().last(), QStringLiteral("HOST --> Open COM1 9600,N,8,1"));
    EXPECT_EQ(printer->ReadSome(300ms), "") << "nothing is sent again by itself";

    bool answered = false;
    QObject::connect(link, &tallyhost::TFPHostControl::OnFinalAnswer,
                     [&](auto*) { answered = true; });
    ASSERT_TRUE(link->AddDataField("*"));
    ASSERT_TRUE(link->SendCommand());
    const std::string command = printer->Read(8, 2000ms);
    ASSERT_EQ(command.size(), 8u);
    std::string answer = "\x02" + command.substr(1, 1) + "*\x1C" + "0000\x1C" + "0000\x03";
    answer += tallyhost::TFPHostControl::GetFrameCheckSum(answer);
    ASSERT_TRUE(printer->Write("\x06" + answer));
    EXPECT_TRUE(RunUntil([&] { return answered; }, 3000ms));
}

TEST_F(LostPortTest, WithReopenOffALostPortStaysClosed)
{
    Start();
    EXPECT_TRUE(main->Settings.ReopenLostPorts);
    SetReopenInPreferences(false);
    EXPECT_FALSE(main->Settings.ReopenLostPorts);
    tallyhost::TFPHostControl* link = main->VardoFPHostControl1;
    ASSERT_EQ(link->State(), tallyhost::EFP_S_Idle);

    Unplug(); // while idle
    ASSERT_TRUE(RunUntil([&] { return main->HostPortLost(); }, 2500ms));
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 lost"));
    PlugNew();
    QTest::qWait(2500);
    EXPECT_EQ(link->State(), tallyhost::EFP_S_Close);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 lost"));

    // Stored with the other settings, and read back on the next start.
    main->SaveSettings();
    std::unique_ptr<QSettings> store(NewUserSettingsStore());
    EXPECT_EQ(store->value(QStringLiteral("Devices/ReopenLostPorts")).toInt(), 0);
}

TEST_F(LostPortTest, PreferencesOkWhileTheDeviceIsAwayKeepsThePortWaiting)
{
    Start();
    tallyhost::TFPHostControl* link = main->VardoFPHostControl1;
    ASSERT_EQ(link->State(), tallyhost::EFP_S_Idle);
    Unplug();
    ASSERT_TRUE(RunUntil([&] { return main->HostPortLost(); }, 2500ms));

    // The operator tries Preferences while the adapter is still out: told that the port did
    // not open, and the port goes on waiting for its device.
    PressOkInPreferences();
    EXPECT_TRUE(dialogs.Texts().join(u'|').contains(
        QStringLiteral("Error when trying to open the Host port")))
        << dialogs.Texts().join(u'|').toStdString();
    EXPECT_TRUE(main->HostPortLost());
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 lost"));

    PlugNew();
    ASSERT_TRUE(RunUntil([&] { return link->State() == tallyhost::EFP_S_Idle; }, 2500ms));
    EXPECT_FALSE(main->HostPortLost());
    EXPECT_TRUE(main->Settings.HostPortOpen);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 9600,N,8,1"));
}

TEST_F(LostPortTest, AnotherDeviceBehindTheNameIsNotUsedUntilConfirmed)
{
    Start();
    tallyhost::TFPHostControl* link = main->VardoFPHostControl1;
    // The pseudo-terminals play USB adapters told apart by their serial numbers.
    std::string serial = "A9X1";
    main->PortIdentity = [&serial](const std::string& path) {
        tallyhost::TDeviceIdentity identity = tallyhost::ReadDeviceIdentity(path);
        if (!identity.Known)
            return identity;
        identity.PseudoTerminal = false;
        identity.UsbVendorProduct = "0403:6001";
        identity.UsbSerial = serial;
        identity.UsbPort = "1-1.2";
        return identity;
    };
    PressOkInPreferences(); // the port opens again, on adapter A9X1
    ASSERT_EQ(link->State(), tallyhost::EFP_S_Idle);

    Unplug();
    ASSERT_TRUE(RunUntil([&] { return main->HostPortLost(); }, 2500ms));
    const int before = int(ViewLines().size());
    serial = "B7Q3"; // the other adapter comes back under the name
    PlugNew();
    ASSERT_TRUE(RunUntil([&] { return main->HostPortOtherDevice(); }, 2500ms));
    EXPECT_EQ(link->State(), tallyhost::EFP_S_Close);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 other device"));
    EXPECT_TRUE(RunUntil([&] { return ViewLines().size() > before; }, 1000ms));
    const QString told = ViewLines().last();
    EXPECT_TRUE(told.startsWith(QStringLiteral("HOST --> COM1: another device at ") + HostLink()))
        << told.toStdString();
    EXPECT_TRUE(told.contains(QStringLiteral("(USB 0403:6001 serial B7Q3 at 1-1.2), not the one "
                                             "lost (USB 0403:6001 serial A9X1 at 1-1.2)")))
        << told.toStdString();

    // Told once; still not used on the next turns of the watch.
    ASSERT_TRUE(NextWatchTick());
    ASSERT_TRUE(NextWatchTick());
    EXPECT_EQ(link->State(), tallyhost::EFP_S_Close);
    EXPECT_EQ(ViewLines().size(), before + 1);
    EXPECT_EQ(printer->ReadSome(50ms), "") << "nothing reaches the other device";

    // The operator confirms it: Preferences names it, OK opens it, and it is the port's
    // device from now on.
    QString notice;
    PressOkInPreferences([&notice](TFormPreferences& p) { notice = p.LabelPortNotice->text(); });
    EXPECT_TRUE(notice.startsWith(QStringLiteral("COM1 now leads to another device (USB 0403:6001 "
                                                 "serial B7Q3 at 1-1.2)")))
        << notice.toStdString();
    EXPECT_EQ(link->State(), tallyhost::EFP_S_Idle);
    EXPECT_FALSE(main->HostPortLost());
    EXPECT_FALSE(main->HostPortOtherDevice());
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 9600,N,8,1"));
    PressOkInPreferences([&notice](TFormPreferences& p) { notice = p.LabelPortNotice->text(); });
    EXPECT_EQ(notice, QString());
}
