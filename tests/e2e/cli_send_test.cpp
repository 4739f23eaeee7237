// tallyhost-cli send and show against tallyhost-sim with the demo catalogue: both programs run
// as child processes, talking over the simulator's pseudo-terminals.

#include "cliprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

using namespace e2e;

const QString Demo = QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo.thf");

class CliSendTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        ASSERT_TRUE(s_dir->isValid());
        s_sim = new QProcess;
        s_sim->start(Sim, {QStringLiteral("--scenario"), DemoScenario, QStringLiteral("--link"),
                           s_dir->path()});
        ASSERT_TRUE(s_sim->waitForStarted(5000));
        for (int i = 0; i < 200 && !QFileInfo::exists(s_dir->filePath("fiscal")); ++i)
            QThread::msleep(10);
        ASSERT_TRUE(QFileInfo::exists(s_dir->filePath("host")));
    }
    static void TearDownTestSuite()
    {
        s_sim->terminate();
        s_sim->waitForFinished(5000);
        delete s_sim;
        delete s_dir;
    }

    static CliRun Send(const QString& group, const QString& command, QStringList more = {})
    {
        QStringList args{QStringLiteral("send"),
                         QStringLiteral("--file"),
                         Demo,
                         QStringLiteral("--group"),
                         group,
                         QStringLiteral("--command"),
                         command,
                         QStringLiteral("--device"),
                         s_dir->filePath("host"),
                         QStringLiteral("--fiscal-device"),
                         s_dir->filePath("fiscal")};
        return RunCli(args + more);
    }

    static QJsonObject Json(const CliRun& r)
    {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(r.Out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << r.Out.toStdString();
        return doc.object();
    }

    // The value of the answer entry labelled `label` in --json output.
    static QString Field(const QJsonObject& o, const QString& label)
    {
        for (const QJsonValue& f : o["fields"].toArray()) {
            if (f["label"].toString() == label)
                return f["value"].toString();
        }
        return QStringLiteral("<missing>");
    }

    static QTemporaryDir* s_dir;
    static QProcess* s_sim;
};

QTemporaryDir* CliSendTest::s_dir = nullptr;
QProcess* CliSendTest::s_sim = nullptr;

} // namespace

TEST_F(CliSendTest, HostCommandPrintsTheDecodedAnswer)
{
    // Unit price is Required: left empty, nothing is sent and the field is named.
    const CliRun empty = Send("Sales", "Sell item");
    EXPECT_EQ(empty.Exit, 2);
    EXPECT_TRUE(empty.Err.contains("field 'Unit price' is required")) << empty.Err.toStdString();

    const CliRun r = Send("Sales", "Sell item", {"Unit price=1.50"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains("Fiscal answer = 1600\n  panel 1: Fiscal receipt open [clBlue]"))
        << r.Out.toStdString();
    EXPECT_TRUE(r.Out.contains("Return code: 0 (0000) Command completed"));
    EXPECT_TRUE(r.Out.contains("  Subtotal: 00000125.50\n"));
    // The demo printer takes 30 ms over each answer (less the few a loaded machine takes to
    // note the frame gone).
    const QRegularExpressionMatch time =
        QRegularExpression(QStringLiteral("\nResponse time: (\\d+) ms\n")).match(r.Out);
    ASSERT_TRUE(time.hasMatch()) << r.Out.toStdString();
    EXPECT_GE(time.captured(1).toInt(), 15);

    const CliRun t = Send("Setup", "Print test page", {"--json"});
    ASSERT_EQ(t.Exit, 0) << t.Err.toStdString();
    const QJsonObject o = Json(t);
    EXPECT_EQ(o["printerStatus"]["word"].toString(), "8009");
    EXPECT_EQ(o["returnCode"]["value"].toInt(), 2049);
    EXPECT_EQ(o["returnCode"]["hex"].toString(), "0801");
    EXPECT_FALSE(o["printerStatus"]["panels"].toArray().isEmpty());
    EXPECT_TRUE(Field(o, "Return code") == "2049");
    EXPECT_GE(o["responseMs"].toInt(), 15);
}

TEST_F(CliSendTest, NamedValuesAreConvertedAsTheWindowConvertsThem)
{
    // The simulator echoes what it received; the answer fields read it back by type.
    const CliRun r = Send("Setup", "Set options", {"--json", "Options=1010", "Key=abc", "4=258"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QJsonObject o = Json(r);
    EXPECT_EQ(Field(o, "Options"), "00001010");
    EXPECT_EQ(Field(o, "Timeout"), "258");
    // Keys are upper-cased as the hexadecimal box upper-cases them; the read-only field goes
    // out as the window shows it.
    EXPECT_EQ(Field(o, "Key"), "ABC");
    EXPECT_EQ(Field(o, "Printer id"), "TH-SIM");

    const CliRun c = Send("Sales", "Close receipt", {"--json", "Amount=12.5", "payment=Card"});
    ASSERT_EQ(c.Exit, 0) << c.Err.toStdString();
    const QJsonObject co = Json(c);
    EXPECT_EQ(Field(co, "Amount paid"), "00000012.50");
    EXPECT_EQ(Field(co, "Paid by"), "Card");
}

TEST_F(CliSendTest, RepeatAutoincrementsAndShowsTheLastAnswer)
{
    const CliRun r = Send("Setup", "Set options", {"--repeat", "3", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QJsonObject o = Json(r);
    EXPECT_EQ(o["runs"].toInt(), 3);
    // Printer id is AlphaNumeric without autoincrement: unchanged.
    EXPECT_EQ(Field(o, "Printer id"), "TH-SIM");

    EXPECT_EQ(Send("Setup", "Set options", {"--repeat", "0"}).Exit, 2);
    EXPECT_EQ(Send("Setup", "Set options", {"--repeat", "1000"}).Exit, 2);
}

TEST_F(CliSendTest, FiscalCommandGoesToTheFiscalPort)
{
    const CliRun r = Send("Fiscal port", "Status");
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.startsWith("final 0000 READY\nResponse time: ")) << r.Out.toStdString();
    const CliRun j = Send("Fiscal port", "Status", {"--json"});
    ASSERT_EQ(j.Exit, 0) << j.Err.toStdString();
    EXPECT_GE(Json(j)["responseMs"].toInt(), 15);
    EXPECT_EQ(Send("Fiscal port", "Status", {"--repeat", "2"}).Exit, 2);
}

TEST_F(CliSendTest, FailedExchangesUseTheWindowsWords)
{
    const CliRun nak = Send("Faults", "Refused with NAK", {"--json"});
    EXPECT_EQ(nak.Exit, 1);
    EXPECT_EQ(Json(nak)["error"].toString(), "Error!!! Bad data in frame.");
    EXPECT_EQ(Json(nak)["lastError"].toString(), "EFP_E_NackReceived");

    const CliRun silent = Send("Faults", "No answer");
    EXPECT_EQ(silent.Exit, 1);
    EXPECT_TRUE(silent.Err.contains("Communication errors!!! Fiscal printer not ready."));
    EXPECT_TRUE(silent.Err.contains("EFP_E_ReadTimeOut"));
}

TEST_F(CliSendTest, BadInputIsRefusedBeforeAnythingIsSent)
{
    const CliRun unknown = Send("Sales", "Sell item", {"Colour=red"});
    EXPECT_EQ(unknown.Exit, 2);
    EXPECT_TRUE(unknown.Err.contains("no field 'Colour'"));

    const CliRun escape = Send("Sales", "Sell item", {"Description=x'4G'", "Unit price=1"});
    EXPECT_EQ(escape.Exit, 2);
    EXPECT_TRUE(escape.Err.contains("Bad user data input in control"));

    // The typing rules of the window's boxes: a second separator, a letter the Boolean box
    // does not take, a read-only field.
    const CliRun currency = Send("Sales", "Sell item", {"Quantity=1.2.3"});
    EXPECT_EQ(currency.Exit, 2);
    EXPECT_TRUE(currency.Err.contains("field 'Quantity': '1.2.3' is not a valid Currency value"))
        << currency.Err.toStdString();
    const CliRun sign = Send("Sales", "Sell item", {"Sign=T"});
    EXPECT_EQ(sign.Exit, 2);
    EXPECT_TRUE(sign.Err.contains("field 'Sign'")) << sign.Err.toStdString();
    const CliRun fixed = Send("Setup", "Set options", {"Printer id=ID-1"});
    EXPECT_EQ(fixed.Exit, 2);
    EXPECT_TRUE(fixed.Err.contains("field 'Printer id' is read only")) << fixed.Err.toStdString();

    const CliRun tooLong = Send("Sales", "Sell item", {"Description=" + QString(21, 'x')});
    EXPECT_EQ(tooLong.Exit, 2);
    EXPECT_TRUE(tooLong.Err.contains("longer than its 20 characters"));

    const CliRun noCommand = Send("Sales", "Nothing");
    EXPECT_EQ(noCommand.Exit, 2);
    const CliRun json = Send("Sales", "Nothing", {"--json"});
    EXPECT_TRUE(Json(json)["error"].toString().contains("no command 'Nothing'"));

    EXPECT_EQ(RunCli({"send", "--file", "/nonexistent.thf", "--group", "a", "--command", "b"}).Exit,
              2);
}

TEST_F(CliSendTest, ShowListsTheTreeAndOneDefinition)
{
    const CliRun tree = RunCli({"show", "--file", Demo});
    ASSERT_EQ(tree.Exit, 0);
    EXPECT_TRUE(tree.Out.startsWith("Status\n  Status request (Host, 1 fields)\n"));
    EXPECT_TRUE(tree.Out.contains("Fiscal port\n  Enquiry (Fiscal, 1 fields)\n"));

    const CliRun one = RunCli(
        {"show", "--file", Demo, "--group", "Sales", "--command", "Close receipt", "--json"});
    ASSERT_EQ(one.Exit, 0);
    const QJsonObject o = Json(one);
    EXPECT_EQ(o["mode"].toString(), "Host");
    ASSERT_EQ(o["fields"].toArray().size(), 3);
    EXPECT_EQ(o["fields"][1]["items"].toArray().size(), 3);
    EXPECT_EQ(o["answers"][3]["caption"].toString(), "Paid by");
}

TEST_F(CliSendTest, GroupAndCommandTypedAsUtf8FindTheCataloguesLatin1Names)
{
    // The catalogue is Latin-1, as the window writes it; the terminal types UTF-8.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("latin1.thf"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("[General]\nProtocol=1\nInputDateFormat=6\nOutputDateFormat=1\n\n"
              "[Groups]\nPr\xFC"
              "fung=\n\n[Pr\xFC"
              "fung]\nZ\xE4hler=\n\n"
              "[Pr\xFC"
              "fungZ\xE4hler]\nCommands=0,\"&Code\",\"Code\",0,\"*\",0,0,1,1,0,0,0\n"
              "Answers=\n");
    out.close();
    const QString group = QStringLiteral("Pr\u00FCfung");
    const CliRun one =
        RunCli({"show", "--file", file, "--group", group, "--command", "Z\u00E4hler", "--json"});
    ASSERT_EQ(one.Exit, 0) << one.Err.toStdString();
    EXPECT_EQ(Json(one)["section"].toString(), QStringLiteral("Pr\u00FCfungZ\u00E4hler"));

    // A refusal quotes the name as it was typed, once encoded.
    const CliRun none = RunCli({"show", "--file", file, "--group", group, "--command", "Nothing"});
    EXPECT_EQ(none.Exit, 2);
    EXPECT_TRUE(none.Err.contains(QStringLiteral("group 'Pr\u00FCfung'")))
        << none.Err.toStdString();
    const CliRun euro =
        RunCli({"show", "--file", file, "--group", QStringLiteral("\u20AC"), "--command", "X"});
    EXPECT_EQ(euro.Exit, 2);
    EXPECT_TRUE(euro.Err.contains("the group name holds the character U+20AC"))
        << euro.Err.toStdString();
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
