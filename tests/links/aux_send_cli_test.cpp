// tallyhost-cli aux-send run as a child process against a fiscal port played on a
// pseudo-terminal: its JSON report must hold every byte the link wrote and read.

#ifdef TALLYHOST_CLI_PATH

#include "tests/links/ptyprinter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace std::string_literals;

namespace tallyhost {
namespace {

using testing::PtyPrinter;

std::string Compact(const QJsonArray& array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString();
}

TEST(AuxSendCli, JsonReportsEveryFrameAndEveryAckWritten)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    QProcess process;
    process.start(QStringLiteral(TALLYHOST_CLI_PATH),
                  {"aux-send", "--device", QString::fromStdString(printer.DevicePath()),
                   "--timeout", "3000", "--json", "12"});

    EXPECT_EQ(printer.Read(5, 5000ms), "\x02\x31\x32\x03\x98"s);
    // "0005": more follows; "0003": the final frame. Each one is acknowledged.
    // 02 + "0005A" + 03 = 0x10B, checksum 0xF5; 02 + "0003B" + 03 = 0x10A, checksum 0xF6.
    ASSERT_TRUE(printer.Write("\x02"
                              "0005A\x03\xF5"s));
    EXPECT_EQ(printer.Read(1, 3000ms), "\x06");
    ASSERT_TRUE(printer.Write("\x02"
                              "0003B\x03\xF6"s));
    EXPECT_EQ(printer.Read(1, 3000ms), "\x06");

    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QJsonObject json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    EXPECT_EQ(json["result"].toString(), "final");
    EXPECT_EQ(json["error"].toString(), "FEFP_Success");
    EXPECT_EQ(json["answers"].toArray(),
              (QJsonArray{QJsonObject{{"final", false}, {"data", "0005A"}},
                          QJsonObject{{"final", true}, {"data", "0003B"}}}));
    // Compared as text so that a mismatch shows the events.
    EXPECT_EQ(Compact(json["events"].toArray()),
              Compact(QJsonArray{QJsonObject{{"event", "write"}, {"hex", "02 31 32 03 98"}},
                                 QJsonObject{{"event", "read"}, {"hex", "02 30 30 30 35 41 03 F5"}},
                                 QJsonObject{{"event", "write"}, {"hex", "06"}},
                                 QJsonObject{{"event", "read"}, {"hex", "02 30 30 30 33 42 03 F6"}},
                                 QJsonObject{{"event", "write"}, {"hex", "06"}}}));
}

} // namespace
} // namespace tallyhost

#endif
