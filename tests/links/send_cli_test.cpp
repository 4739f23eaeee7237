// tallyhost-cli send with a terminal file of the test's own, against a printer played on a
// pseudo-terminal: what can be refused is refused before a byte goes to the printer.

#ifdef TALLYHOST_CLI_PATH

#include "tests/links/hostlink_support.h"
#include "tests/links/ptyprinter.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tallyhost {
namespace {

using testing::Hex;
using testing::PrinterFrame;
using testing::PtyPrinter;
using testing::ReadCommandFrame;

struct CliRun
{
    int Exit = -1;
    QByteArray Out;
    QByteArray Err;
};

// One host command: a Boolean flag, a hexadecimal key, a read-only identifier and a text.
QByteArray TerminalFile(const QByteArray& fiscalRecords)
{
    return "[General]\r\nProtocol=0\r\n[Groups]\r\nG=\r\n[G]\r\nC=\r\n"
           "[GC]\r\nCommands=0,\"&Flag\",\"\",7,\"S\",0,0,0,0,0,0,0,"
           "0,\"&Key\",\"\",5,\"41\",0,4,0,0,0,0,0,"
           "0,\"Fi&xed\",\"\",0,\"FIXED\",0,0,0,1,0,0,0,"
           "0,\"&Text\",\"\",0,\"\",0,0,0,0,0,0,0\r\n"
           "Answers=\"Echo\",0,0\r\n"
           "[FiscalAnswer]\r\n" +
           fiscalRecords + "[PrinterAnswer]\r\nRecord1=1,1,0001,0001,\"Paper\",clRed\r\n";
}

class SendCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_printer.Ok());
    }

    void Write(const QByteArray& thf)
    {
        QFile f(m_dir.filePath(QStringLiteral("t.thf")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(thf);
    }

    QProcess* Start(const QStringList& values)
    {
        auto* process = new QProcess;
        process->start(QStringLiteral(TALLYHOST_CLI_PATH),
                       QStringList{"send", "--file", m_dir.filePath(QStringLiteral("t.thf")),
                                   "--group", "G", "--command", "C", "--device",
                                   QString::fromStdString(m_printer.DevicePath())} +
                           values);
        return process;
    }

    static CliRun Finish(QProcess* process)
    {
        EXPECT_TRUE(process->waitForFinished(10000));
        CliRun run{process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
                   process->readAllStandardOutput(), process->readAllStandardError()};
        delete process;
        return run;
    }

    QTemporaryDir m_dir;
    PtyPrinter m_printer;
};

TEST_F(SendCli, ABrokenStatusRecordRefusesTheCommandBeforeItIsSent)
{
    Write(TerminalFile(
        "Record1=1,1,0200,0200,\"Open\",clBlue\r\nRecord2=2,one,0400,0400,\"B\",clRed\r\n"));
    const CliRun run = Finish(Start({}));
    EXPECT_EQ(run.Exit, 2);
    EXPECT_TRUE(run.Err.contains("status records")) << run.Err.toStdString();
    EXPECT_EQ(m_printer.Read(1, 300ms), "") << "the printer was sent the command";
}

TEST_F(SendCli, NamedValuesFollowTheRulesOfTheWindowsBoxes)
{
    Write(TerminalFile("Record1=1,1,0200,0200,\"Open\",clBlue\r\n"));
    struct Case
    {
        QStringList values;
        const char* why;
    };
    const Case refused[] = {
        {{"Flag=T"}, "field 'Flag': 'T' is not a valid Boolean value"},
        {{"Flag=SN"}, "field 'Flag': the value is longer than its 1 characters"},
        {{"Key=4G"}, "field 'Key': '4G' is not a valid Hexa value"},
        {{"Key=12345"}, "field 'Key': the value is longer than its 4 characters"},
        {{"Fixed=OTHER"}, "field 'Fixed' is read only"},
        {{"3=OTHER"}, "field 'Fixed' is read only"},
    };
    for (const Case& c : refused) {
        const CliRun run = Finish(Start(c.values));
        EXPECT_EQ(run.Exit, 2) << c.why;
        EXPECT_TRUE(run.Err.contains(c.why)) << run.Err.toStdString();
    }
    // Past the host link's data limit: the link refuses the frame.
    const CliRun tooLong = Finish(Start({"Text=" + QString(3000, QLatin1Char('B'))}));
    EXPECT_EQ(tooLong.Exit, 2);
    EXPECT_TRUE(tooLong.Err.contains("EFP_E_MaxDataLengthReached")) << tooLong.Err.toStdString();
    EXPECT_EQ(m_printer.Read(1, 100ms), "") << "a refused value reached the printer";

    // What the boxes would hold goes out: the flag and the key upper-cased as typed keys are,
    // the read-only field as the window shows it.
    QProcess* sending = Start({"Flag=n", "Key=4a"});
    const std::string frame = ReadCommandFrame(m_printer, 5000ms);
    ASSERT_GT(frame.size(), 2u);
    EXPECT_EQ(frame.substr(2, frame.size() - 7), "N\x1CJ\x1C"
                                                 "FIXED\x1C");
    ASSERT_TRUE(
        m_printer.Write("\x06" + PrinterFrame(static_cast<std::uint8_t>(frame[1]), "C\x1C"
                                                                                   "0001\x1C"
                                                                                   "0200\x1C"
                                                                                   "done")));
    const CliRun sent = Finish(sending);
    EXPECT_EQ(sent.Exit, 0) << sent.Err.toStdString();
    EXPECT_TRUE(sent.Out.contains("panel 1: Open [clBlue]")) << sent.Out.toStdString();
    EXPECT_TRUE(sent.Out.contains("Field3: done")) << sent.Out.toStdString();
}

} // namespace
} // namespace tallyhost

#endif
