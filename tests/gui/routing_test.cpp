// The main window driving the two printer links on real pseudo-terminals: start-up states of
// the ports and the fiscal button, Preferences, reset, and the routing of link events to the
// log window and the terminal window.

#include "app/formmain.h"
#include "app/formpreferences.h"
#include "app/logwindow.h"
#include "app/settings.h"
#include "core/logformat.h"
#include "core/template.h"
#include "gui/logview.h"
#include "gui/messagebox.h"
#include "gui/notifications.h"
#include "links/devicetable.h"
#include "links/fpauxcontrol.h"
#include "links/fphostcontrol.h"
#include "terminal/terminalwindow.h"
#include "tests/links/ptyprinter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using tallyhost::testing::PtyPrinter;

namespace {

template <typename Pred> bool RunUntil(Pred pred, std::chrono::milliseconds timeout = 3000ms)
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

// Records the notifications a window receives.
class NotificationSpy : public QObject
{
public:
    std::vector<int> Received;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const int type = static_cast<int>(event->type());
        if (type >= WM_LOG_HOST_OPEN && type <= WM_TERM_AUX_ACK)
            Received.push_back(type);
        return false;
    }
};

// The first line of each text (a box's own sentence, without the details below it).
QStringList FirstLines(const QStringList& texts)
{
    QStringList first;
    for (const QString& text : texts)
        first << text.section(u'\n', 0, 0);
    return first;
}

// Where two line lists part, for a short failure message; empty when they are equal.
std::string FirstDifference(const QStringList& actual, const QStringList& expected)
{
    for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i)
        if (actual[i] != expected[i])
            return "line " + std::to_string(i) + ": " + actual[i].toStdString() + " instead of " +
                   expected[i].toStdString();
    if (actual.size() != expected.size())
        return std::to_string(actual.size()) + " lines instead of " +
               std::to_string(expected.size());
    return {};
}

std::uint8_t AuxChecksum(const std::string& bytes)
{
    unsigned sum = 0;
    for (const char c : bytes)
        sum += static_cast<unsigned char>(c);
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

std::string AuxFrame(const std::string& data)
{
    std::string frame = "\x02" + data + "\x03";
    frame += static_cast<char>(AuxChecksum(frame));
    return frame;
}

class RoutingTest : public ::testing::Test
{
protected:
    TRecordedDialogs dialogs;
    PtyPrinter host;
    PtyPrinter fiscal;
    QTemporaryDir dir;
    std::unique_ptr<TFormMain> main;

    void SetUp() override
    {
        ASSERT_TRUE(host.Ok());
        ASSERT_TRUE(fiscal.Ok());
        qputenv("TALLYHOST_COM1", QByteArray::fromStdString(host.DevicePath()));
        qputenv("TALLYHOST_COM2", QByteArray::fromStdString(fiscal.DevicePath()));
        qputenv("TALLYHOST_COM3", dir.filePath(QStringLiteral("no-such-device")).toLocal8Bit());
        // A settings store of this test's own: ctest runs test processes side by side, and a
        // shared store lets one test's settings leak into another's start-up.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           dir.filePath(QStringLiteral("config")));
        std::unique_ptr<QSettings> store(NewUserSettingsStore());
        store->clear();
        store->setValue(QStringLiteral("HComm"), 0);
        store->setValue(QStringLiteral("HBaud"), 3);
        store->setValue(QStringLiteral("DComm"), 1);
        store->setValue(QStringLiteral("DTimeOut"), 1000);
        store->setValue(QStringLiteral("DGIEnabled"), 1);
        store->setValue(QStringLiteral("File"), QString());
        store->setValue(QStringLiteral("LowLevel"), 1);
    }

    void TearDown() override
    {
        main.reset();
        std::unique_ptr<QSettings> store(NewUserSettingsStore());
        store->clear();
        for (const char* name : {"TALLYHOST_COM1", "TALLYHOST_COM2", "TALLYHOST_COM3"})
            qunsetenv(name);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }

    void Store(const char* key, const QVariant& value)
    {
        std::unique_ptr<QSettings> store(NewUserSettingsStore());
        store->setValue(QLatin1String(key), value);
    }

    void Start() { main = std::make_unique<TFormMain>(QStringList{QStringLiteral("tallyhost")}); }

    QString OpenFile()
    {
        const QString file = dir.filePath(QStringLiteral("printer.thf"));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        const auto text = tallyhost::DefaultTemplateText();
        out.write(text.data(), qint64(text.size()));
        out.close();
        main->Settings.File = file;
        main->OpenTerminalFile();
        EXPECT_NE(FormChildLogWindow, nullptr);
        return dir.filePath(QStringLiteral("printer.log"));
    }

    QStringList ViewLines()
    {
        QCoreApplication::sendPostedEvents();
        FormChildLogWindow->FlushPendingLines();
        QStringList lines = FormChildLogWindow->RichEditLog()->Lines();
        lines.removeAll(QString());
        return lines;
    }

    bool FiscalLooksEnabled() const
    {
        return !main->ToolButtonFiscal->isChecked() &&
               main->ToolButtonFiscal->toolTip() == QStringLiteral("Disable Fiscal port");
    }
    bool FiscalLooksDisabled() const
    {
        return main->ToolButtonFiscal->isChecked() &&
               main->ToolButtonFiscal->toolTip() == QStringLiteral("Enable Fiscal port");
    }
};

} // namespace

TEST_F(RoutingTest, StartUpWithBothPortsOpen)
{
    Start();
    EXPECT_TRUE(dialogs.Boxes.empty()) << dialogs.Texts().join(u'|').toStdString();
    EXPECT_TRUE(main->Settings.HostPortOpen);
    EXPECT_TRUE(main->Settings.FiscalPortOpen);
    EXPECT_EQ(main->VardoFPHostControl1->State(), tallyhost::EFP_S_Idle);
    EXPECT_EQ(main->FPAuxControl1->State(), tallyhost::FEFP_S_Idle);
    EXPECT_EQ(main->PanelText(1), QStringLiteral("Ready"));
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 9600,N,8,1"));
    EXPECT_EQ(main->PanelText(3), QStringLiteral("COM2 9600,N,8,1"));
    EXPECT_TRUE(FiscalLooksEnabled());
}

TEST_F(RoutingTest, StartUpWithTheFiscalPortDisabled)
{
    Store("DGIEnabled", 0);
    Start();
    EXPECT_TRUE(dialogs.Boxes.empty());
    EXPECT_FALSE(main->Settings.FiscalPortOpen);
    EXPECT_EQ(main->FPAuxControl1->State(), tallyhost::FEFP_S_Close);
    EXPECT_EQ(main->PanelText(3), QStringLiteral("Disabled"));
    EXPECT_TRUE(FiscalLooksDisabled());
}

TEST_F(RoutingTest, StartUpWithPortsThatFailToOpen)
{
    Store("HComm", 2); // COM3 leads nowhere
    Store("DComm", 2);
    Start();
    EXPECT_EQ(FirstLines(dialogs.Texts()),
              (QStringList{QStringLiteral("Error when trying to open the Host port"),
                           QStringLiteral("Error when trying to open the Fiscal port")}));
    ASSERT_EQ(dialogs.Boxes.size(), 2u);
    // The second line names the device and the system's reason.
    const QString com3 = QString::fromStdString(tallyhost::ComDevicePath(2));
    EXPECT_TRUE(dialogs.Boxes[0].text.section(u'\n', 1).startsWith(com3 + ": "))
        << dialogs.Boxes[0].text.toStdString();
    EXPECT_TRUE(dialogs.Boxes[1].text.section(u'\n', 1).startsWith(com3 + ": "))
        << dialogs.Boxes[1].text.toStdString();
    EXPECT_EQ(dialogs.Boxes[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(main->Settings.HostPortOpen);
    EXPECT_FALSE(main->Settings.FiscalPortOpen);
    EXPECT_TRUE(main->Settings.DGIEnabled); // the next start tries again
    EXPECT_EQ(main->PanelText(1), QStringLiteral("Error"));
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM3 9600,N,8,1"));
    EXPECT_EQ(main->PanelText(3), QStringLiteral("Disabled"));
    EXPECT_TRUE(FiscalLooksDisabled());
}

TEST_F(RoutingTest, UnknownSpeedShowsOnlyThePort)
{
    Store("HBaud", 9);
    Start();
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1"));
}

TEST_F(RoutingTest, FiscalButtonDisablesAndReenablesThePort)
{
    Start();
    const QString log = OpenFile();
    NotificationSpy spy;
    FormChildLogWindow->installEventFilter(&spy);

    main->ToolButtonFiscal->click(); // down: disable
    EXPECT_FALSE(main->Settings.DGIEnabled);
    EXPECT_FALSE(main->Settings.FiscalPortOpen);
    EXPECT_EQ(main->FPAuxControl1->State(), tallyhost::FEFP_S_Close);
    EXPECT_TRUE(FiscalLooksDisabled());
    EXPECT_EQ(main->PanelText(3), QStringLiteral("Disabled"));

    main->ToolButtonFiscal->click(); // up: enable
    EXPECT_TRUE(main->Settings.DGIEnabled);
    EXPECT_TRUE(main->Settings.FiscalPortOpen);
    EXPECT_TRUE(FiscalLooksEnabled());
    EXPECT_EQ(main->PanelText(3), QStringLiteral("COM2 9600,N,8,1"));
    EXPECT_EQ(ViewLines().mid(0),
              (QStringList{"FISCAL-> Close port", "FISCAL-> Open COM2 9600,N,8,1"}));

    // Enabling a port that cannot be opened: box, button down again, the wish kept.
    main->ToolButtonFiscal->click();
    main->Settings.DComm = 2;
    main->SetPanelText(1, QStringLiteral("Ready"));
    main->ToolButtonFiscal->click();
    EXPECT_EQ(FirstLines(dialogs.Texts()),
              QStringList{QStringLiteral("Error when trying to open the Fiscal port")});
    EXPECT_TRUE(main->Settings.DGIEnabled);
    EXPECT_FALSE(main->Settings.FiscalPortOpen);
    EXPECT_TRUE(FiscalLooksDisabled());
    EXPECT_EQ(main->PanelText(1), QStringLiteral("Error"));
    EXPECT_EQ(main->PanelText(3), QStringLiteral("Disabled"));
}

TEST_F(RoutingTest, PreferencesOkReopensTheHostPortAndReloadsTheLogSettings)
{
    Start();
    OpenFile();
    dialogs.OnDialog = [](QDialog& dialog) {
        auto& preferences = dynamic_cast<TFormPreferences&>(dialog);
        preferences.ComboBoxHostBaudRate->setCurrentIndex(5);
        preferences.CheckBoxLowLevelLog->setChecked(false);
        preferences.ButtonOkClick();
        return int(QDialog::Accepted);
    };
    main->MenuItemGeneralClick();
    EXPECT_EQ(dialogs.DialogCount, 1);
    EXPECT_TRUE(dialogs.Boxes.empty()) << dialogs.Texts().join(u'|').toStdString();
    EXPECT_EQ(main->VardoFPHostControl1->BaudRate(), tallyhost::br38400);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("COM1 38400,N,8,1"));
    // The fiscal port was open: it is reopened too.
    EXPECT_EQ(ViewLines(), (QStringList{"HOST --> Close port", "HOST --> Open COM1 38400,N,8,1",
                                        "FISCAL-> Close port", "FISCAL-> Open COM2 9600,N,8,1"}));

    // The low-level flag was switched off: an acknowledgement now reaches the file only.
    emit main->VardoFPHostControl1->OnAck(main->VardoFPHostControl1);
    EXPECT_EQ(ViewLines().size(), 4);
    QFile file(FormChildLogWindow->LogFileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().endsWith("Close port\r\nOpen COM1 38400,N,8,1\r\nClose port\r\n"
                                        "Open COM2 9600,N,8,1\r\nFP   --> ACK\r\n"));
}

TEST_F(RoutingTest, PreferencesOkLeavesADisabledFiscalPortClosed)
{
    Store("DGIEnabled", 0);
    Start();
    dialogs.OnDialog = [](QDialog& dialog) {
        dynamic_cast<TFormPreferences&>(dialog).ButtonOkClick();
        return int(QDialog::Accepted);
    };
    main->MenuItemGeneralClick();
    EXPECT_EQ(main->FPAuxControl1->State(), tallyhost::FEFP_S_Close);
    EXPECT_EQ(main->PanelText(3), QStringLiteral("Disabled"));
    EXPECT_TRUE(main->Settings.HostPortOpen);
}

TEST_F(RoutingTest, ResetWithNoFileOpenPurgesBothLinks)
{
    Start();
    ASSERT_TRUE(main->VardoFPHostControl1->SendCommand());
    ASSERT_TRUE(main->FPAuxControl1->SendData("1"));
    EXPECT_EQ(main->VardoFPHostControl1->State(), tallyhost::EFP_S_Busy);
    EXPECT_EQ(main->FPAuxControl1->State(), tallyhost::FEFP_S_Busy);
    main->SetPanelText(1, QStringLiteral("Error"));

    main->MenuItemResetserialportsClick();
    EXPECT_EQ(main->VardoFPHostControl1->State(), tallyhost::EFP_S_Idle);
    EXPECT_EQ(main->FPAuxControl1->State(), tallyhost::FEFP_S_Idle);
    EXPECT_EQ(main->PanelText(1), QStringLiteral("Ready"));
    // The purged commands end in errors that reach no window; the links stay open and idle.
    RunUntil([] { return false; }, 200ms);
    EXPECT_EQ(main->VardoFPHostControl1->State(), tallyhost::EFP_S_Idle);
    EXPECT_EQ(main->FPAuxControl1->State(), tallyhost::FEFP_S_Idle);
}

TEST_F(RoutingTest, HostExchangeIsLoggedAndTheAnswerAnnounced)
{
    Start();
    const QString logName = OpenFile();
    NotificationSpy terminalSpy;
    FormChildTerminalWindow->installEventFilter(&terminalSpy);
    QFile logFile(logName);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    logFile.readAll();

    tallyhost::TFPHostControl* link = main->VardoFPHostControl1;
    ASSERT_TRUE(link->AddDataField("*"));
    ASSERT_TRUE(link->SendCommand());
    std::string command;
    ASSERT_TRUE(RunUntil([&] {
        command += host.Read(64, 5ms);
        return command.size() >= 8; // STX seq '*' ETX and four checksum digits
    }));
    const char seq = command[1];
    std::string answer = "\x02" + std::string(1, seq) +
                         "*\x1C"
                         "0080\x1C"
                         "C600\x03";
    unsigned sum = 0;
    for (const char c : answer)
        sum += static_cast<unsigned char>(c);
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", sum & 0xFFFF);
    answer += digits;
    ASSERT_TRUE(host.Write("\x06"));
    ASSERT_TRUE(host.Write(answer));
    ASSERT_TRUE(RunUntil([&] {
        return std::find(terminalSpy.Received.begin(), terminalSpy.Received.end(),
                         WM_TERM_HOST_ANSWER) != terminalSpy.Received.end();
    }));
    EXPECT_EQ(terminalSpy.Received, std::vector<int>{WM_TERM_HOST_ANSWER});
    EXPECT_EQ(main->LastWrittenFrame(), QByteArray("\x06"));
    EXPECT_EQ(main->LastReadFrame(), QByteArray::fromStdString(answer));

    auto hex = [](const std::string& bytes) {
        return QString::fromStdString(tallyhost::FrameHexText(bytes));
    };
    const QStringList view = ViewLines();
    EXPECT_EQ(view, (QStringList{"HOST --> " + hex(command), "FP   --> ACK",
                                 "FP   --> " + hex(answer), "HOST --> 06 "}));
    EXPECT_EQ(QString::fromLatin1(logFile.readAll()), "HOST --> " + hex(command) +
                                                          "\r\nFP   --> ACK\r\nFP   --> " +
                                                          hex(answer) + "\r\nHOST --> 06 \r\n");
}

TEST_F(RoutingTest, FiscalAcknowledgementIsLoggedAndTellsTheTerminalThePortIsAlive)
{
    Start();
    OpenFile();
    NotificationSpy terminalSpy;
    FormChildTerminalWindow->installEventFilter(&terminalSpy);
    ASSERT_TRUE(main->FPAuxControl1->SendData("12"));
    ASSERT_EQ(fiscal.Read(5, 2000ms), std::string("\x02\x31\x32\x03\x98"));
    ASSERT_TRUE(fiscal.Write("\x06"));
    ASSERT_TRUE(RunUntil([&] { return !terminalSpy.Received.empty(); }));
    EXPECT_EQ(terminalSpy.Received, std::vector<int>{WM_TERM_AUX_ACK});
    EXPECT_EQ(ViewLines(), (QStringList{"FISCAL-> 02 31 32 03 98 ", "FP   --> ACK"}));
}

TEST_F(RoutingTest, EventsWithoutAnOpenFileAreDropped)
{
    Start();
    emit main->VardoFPHostControl1->OnWrite(main->VardoFPHostControl1, QByteArray("\x02"));
    emit main->FPAuxControl1->OnRead(main->FPAuxControl1, QByteArray("\x03"));
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(main->LastWrittenFrame().isEmpty());
    EXPECT_TRUE(main->LastReadFrame().isEmpty());
}

// A printer that floods the fiscal port with answer frames: every frame the link reports is
// logged, in order, even though many are reported before the log window handles the first.
TEST_F(RoutingTest, FloodingPrinterLosesNoLoggedFrame)
{
    Start();
    const QString logName = OpenFile();
    QFile logFile(logName);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    logFile.readAll();

    QStringList reported;
    QObject::connect(main->FPAuxControl1, &tallyhost::TFPAuxControl::OnRead,
                     [&](auto*, const QByteArray& frame) {
                         reported << "FP   --> " + QString::fromStdString(tallyhost::FrameHexText(
                                                       frame.toStdString()));
                     });
    ASSERT_TRUE(main->FPAuxControl1->SendData("1"));
    ASSERT_FALSE(fiscal.Read(4, 2000ms).empty());

    constexpr int kFrames = 3000;
    std::atomic<bool> done{false};
    std::thread printer([&] {
        for (int i = 0; i < kFrames; ++i) {
            fiscal.Write(AuxFrame("0005" + std::to_string(i))); // not final: more follow
            if (i % 8 == 0)
                std::this_thread::sleep_for(200us);
        }
        fiscal.Write(AuxFrame("0001end"));
        done = true;
    });
    const bool finished = RunUntil(
        [&] { return done && main->FPAuxControl1->State() == tallyhost::FEFP_S_Idle; }, 20000ms);
    printer.join();
    ASSERT_TRUE(finished);
    QCoreApplication::sendPostedEvents();
    FormChildLogWindow->FlushPendingLines();

    QStringList fileReads;
    for (const QByteArray& line : logFile.readAll().split('\n'))
        if (line.startsWith("FP   --> 02 "))
            fileReads << QString::fromLatin1(line.chopped(1));
    ASSERT_GT(reported.size(), 10);
    EXPECT_EQ(FirstDifference(fileReads, reported), "");
    EXPECT_EQ(FirstDifference(ViewLines().filter(QStringLiteral("FP   --> 02 ")), reported), "");
}
