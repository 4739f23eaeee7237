// tallyhost-cli host-send run as a child process against a printer played on a pseudo-terminal.

#ifdef TALLYHOST_CLI_PATH

#include "tests/links/hostlink_support.h"
#include "tests/links/ptyprinter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <thread>

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

QProcess* Start(const QStringList& args)
{
    auto* process = new QProcess;
    process->start(QStringLiteral(TALLYHOST_CLI_PATH), QStringList{"host-send"} + args);
    return process;
}

CliRun Finish(QProcess* process)
{
    EXPECT_TRUE(process->waitForFinished(10000));
    CliRun run{process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
               process->readAllStandardOutput(), process->readAllStandardError()};
    delete process;
    return run;
}

TEST(HostSendCli, FinalAnswerAsJsonAndExitCodes)
{
    PtyPrinter printer, silent;
    ASSERT_TRUE(printer.Ok() && silent.Ok());
    const QString device = QString::fromStdString(printer.DevicePath());

    // The silent printer's time-out runs meanwhile.
    QProcess* timingOut = Start({"--device", QString::fromStdString(silent.DevicePath()), "x"});

    QProcess* sending = Start(
        {"--device", device, "--baud", "38400", "--json", "--", "*", "x'41'BC", "--not-an-option"});
    const std::string frame = ReadCommandFrame(printer, 5000ms);
    ASSERT_GT(frame.size(), 2u);
    const char seq = frame[1];
    EXPECT_EQ(Hex(frame.substr(2)), "2A 1C 41 42 43 1C 2D 2D 6E 6F 74 2D 61 6E 2D 6F 70 74 69 "
                                    "6F 6E 03 " +
                                        Hex(frame.substr(frame.size() - 4)));
    const std::string answer = PrinterFrame(static_cast<std::uint8_t>(seq), "*\x1C"
                                                                            "0080\x1C"
                                                                            "0600\x1C"
                                                                            "caf\xE9\x1C\x22q\x22");
    printer.Write("\x06" + answer);
    const CliRun sent = Finish(sending);
    EXPECT_EQ(sent.Exit, 0) << sent.Err.toStdString();
    EXPECT_EQ(Hex(printer.Read(1, 2000ms)), "06");
    const QJsonObject json = QJsonDocument::fromJson(sent.Out).object();
    EXPECT_EQ(json["result"].toString(), "final");
    EXPECT_EQ(json["error"].toString(), "EFP_Success");
    EXPECT_EQ(json["printer_status"].toInt(), 0x80);
    EXPECT_EQ(json["fiscal_status"].toInt(), 0x600);
    EXPECT_EQ(json["return_code"].toInt(), 0);
    EXPECT_EQ(json["fields"].toArray(), (QJsonArray{QStringLiteral("caf\u00E9"), "\"q\""}));
    const QJsonArray events = json["events"].toArray();
    ASSERT_EQ(events.size(), 4);
    EXPECT_EQ(events[0].toObject()["event"].toString(), "write");
    EXPECT_EQ(events[0].toObject()["hex"].toString().toStdString(), Hex(frame));
    EXPECT_EQ(events[1].toObject(), (QJsonObject{{"event", "ack"}}));
    EXPECT_EQ(events[2].toObject()["hex"].toString().toStdString(), Hex(answer));
    EXPECT_EQ(events[3].toObject()["hex"].toString(), "06");

    const CliRun timedOut = Finish(timingOut);
    EXPECT_EQ(timedOut.Exit, 1);
    EXPECT_TRUE(timedOut.Out.contains("exchange failed: EFP_E_ReadTimeOut"))
        << timedOut.Out.toStdString();
    EXPECT_TRUE(timedOut.Out.startsWith("write        02 ")) << timedOut.Out.toStdString();

    // Refusals never touch the line.
    for (const QStringList& args :
         {QStringList{"--device", device, "x'4G'"}, QStringList{"--device", device, "x'0A'"},
          QStringList{"--device", "/dev/tallyhost-none", "A"}, QStringList{"A"},
          QStringList{"--device", device, "--baud", "1234", "A"},
          QStringList{"--device", device, "--protocol", "other", "A"}}) {
        const CliRun refused = Finish(Start(args));
        EXPECT_EQ(refused.Exit, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(refused.Err.isEmpty());
    }
    EXPECT_EQ(printer.Read(1, 50ms), "");
}

} // namespace
} // namespace tallyhost

#endif
