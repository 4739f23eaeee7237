// tallyhost-cli fields as a script uses it: a command built from nothing, field by field, then
// sent to tallyhost-sim; refusals and write errors with their exit codes.

#include "cliprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace e2e;

// A catalogue as File > New, Add group and Add command leave it (comments left out).
const QByteArray NewCatalogue = "[General]\r\nProtocol=0\r\nInputDateFormat=0\r\n"
                                "OutputDateFormat=0\r\n\r\n[Return code]\r\n\r\n[FiscalAnswer]\r\n"
                                "\r\n[PrinterAnswer]\r\n\r\n[Groups]\r\nMine=\r\n[Mine]\r\n"
                                "Hello=\r\n[MineHello]\r\nCommands=\r\nAnswers=\r\n";

class CliFieldsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("new.thf"));
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(NewCatalogue);
    }

    QByteArray FileBytes() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    CliRun Fields(const QStringList& more) const
    {
        return RunCli(
            QStringList{"fields", "--file", m_path, "--group", "Mine", "--command", "Hello"} +
            more);
    }

    static QJsonArray FieldList(const CliRun& r)
    {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(r.Out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << r.Out.toStdString();
        return doc.object()["fields"].toArray();
    }

    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace

TEST_F(CliFieldsTest, BuildsACommandFromNothingAndTheSimulatorAnswersIt)
{
    CliRun r = Fields({"--add", "caption=&Text", "hint=Text to print", "max=20",
                       "default=Hello \"you\", there", "notes=Prints one line\nof text"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    r = Fields({"--add", "caption=Style", "control=DropDownList", "combo=1\n2\n3"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    r = Fields({"--answers", "--add", "caption=Total", "type=Currency", "decimals=2"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();

    EXPECT_EQ(FileBytes(),
              NewCatalogue.left(NewCatalogue.indexOf("Commands=")) +
                  "Commands=0,\"&Text\",\"Text to print\",0,\"Hello \"\"you\"\", there\",0,20,0,0,"
                  "0,0,0,0,\"Style\",\"\",0,\"\",2,0,0,0,0,0,0\r\n"
                  "Answers=\"Total\",2,2\r\n"
                  "Notes=\"\"Prints one line\",\"of text\"\"\r\n"
                  "CL2=\"1,2,3\"\r\n");

    r = Fields({"--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QJsonArray fields = FieldList(r);
    ASSERT_EQ(fields.size(), 2);
    EXPECT_EQ(fields[0]["number"].toInt(), 1);
    EXPECT_EQ(fields[0]["default"].toString(), "Hello \"you\", there");
    EXPECT_EQ(fields[0]["notes"].toArray().size(), 2);
    EXPECT_EQ(fields[1]["control"].toString(), "DropDownList");
    EXPECT_EQ(fields[1]["combo"].toArray().last().toString(), "3");
    EXPECT_FALSE(fields[1].toObject().contains("notes"));
    r = Fields({"--answers", "--json"});
    EXPECT_EQ(FieldList(r)[0].toObject()["decimals"].toString(), "2");

    // The command goes to the printer simulator as the window would send it.
    QTemporaryDir link;
    QProcess sim;
    sim.start(Sim, {"--scenario", DemoScenario, "--link", link.path()});
    ASSERT_TRUE(sim.waitForStarted(5000));
    for (int i = 0; i < 300 && !QFileInfo::exists(link.filePath("fiscal")); ++i)
        QThread::msleep(10);
    r = RunCli({"send", "--file", m_path, "--group", "Mine", "--command", "Hello", "--device",
                link.filePath("host"), "--fiscal-device", link.filePath("fiscal"), "--json"});
    sim.terminate();
    sim.waitForFinished(5000);
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString() << r.Out.toStdString();
    EXPECT_TRUE(r.Out.contains("\"printerStatus\"")) << r.Out.toStdString();
}

TEST_F(CliFieldsTest, RefusesWhatTheDialogWouldNotTakeBeforeWriting)
{
    ASSERT_EQ(Fields({"--add", "caption=A", "mode=Fiscal", "control=DropDown", "combo=x"}).Exit, 0);
    const QByteArray before = FileBytes();
    const struct
    {
        QStringList Args;
        const char* Reason;
    } refusals[] = {
        {{"--add", "hint=no caption"}, "caption:"},
        {{"--add", "caption=B", "mode=Host"}, "mode: only field 1"},
        {{"--add", "caption=B", "notes=x"}, "notes:"},
        {{"--add", "caption=B", "type=Boolean", "max=5"}, "max: the box is disabled"},
        {{"--add", "caption=B", "type=Numeric", "default=12a"}, "default:"},
        {{"--add", "caption=B", "combo=x"}, "combo:"},
        {{"--add", "caption=B", "type=Numeric", "control=Date"}, "type: the Date control"},
        {{"--add", "caption=B", "max="}, "max: the box may not be empty"},
        {{"--add", "caption=" + QString(36, 'c')}, "caption: at most 35"},
        {{"--add", "colour=red"}, "colour:"},
        {{"--modify", "2", "caption=B"}, "no command field 2"},
        {{"--remove", "0"}, "field number"},
        {{"--answers", "--add", "type=Numeric", "decimals=2"}, "decimals:"},
        // Beyond the file's 32-bit numbers: it would be stored as 0, "no limit".
        {{"--add", "caption=B", "max=99999999999"}, "max: \"99999999999\" is larger than"},
        {{"--add", "caption=B", "type=Numeric", "default=6207612", "max=5"},
         "default: the default text is longer than the max length 5"},
        {{"--move-up", "1"}, "field 1 is already the first"},
        {{"--move-down", "2"}, "no command field 2"},
    };
    for (const auto& refusal : refusals) {
        const CliRun r = Fields(refusal.Args);
        EXPECT_EQ(r.Exit, 2) << refusal.Args.join(' ').toStdString();
        EXPECT_TRUE(r.Err.contains(refusal.Reason))
            << refusal.Args.join(' ').toStdString() << ": " << r.Err.toStdString();
    }
    EXPECT_EQ(FileBytes(), before);

    // Field 1 may change the mode; the stored mode of other fields stays.
    ASSERT_EQ(Fields({"--add", "caption=B"}).Exit, 0);
    ASSERT_EQ(Fields({"--modify", "1", "mode=Host"}).Exit, 0);
    const QJsonArray fields = FieldList(Fields({"--json"}));
    EXPECT_EQ(fields[0]["mode"].toString(), "Host");
    EXPECT_EQ(fields[1]["mode"].toString(), "Fiscal");

    // A move swaps two fields in the list.
    ASSERT_EQ(Fields({"--move-down", "1"}).Exit, 0);
    const QJsonArray moved = FieldList(Fields({"--json"}));
    EXPECT_EQ(moved[0]["caption"].toString(), "B");
    EXPECT_EQ(moved[1]["caption"].toString(), "A");
}

TEST_F(CliFieldsTest, AReadOnlyFileIsReportedWithExitOne)
{
    ASSERT_EQ(Fields({"--add", "caption=A"}).Exit, 0);
    const QByteArray before = FileBytes();
    ASSERT_EQ(::chmod(QFile::encodeName(m_path).constData(), 0444), 0);
    const CliRun r = Fields({"--remove", "1"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Err.contains("Unable to write to " + m_path)) << r.Err.toStdString();
    EXPECT_EQ(FileBytes(), before);
    ::chmod(QFile::encodeName(m_path).constData(), 0644);
    EXPECT_EQ(Fields({"--remove", "1"}).Exit, 0);
    EXPECT_TRUE(FileBytes().contains("\r\nCommands=\r\n"));
}
