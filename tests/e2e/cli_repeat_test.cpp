// tallyhost-cli send --repeat against tallyhost-sim: the summary of a run that a scripted NAK
// stops, and of one that completes.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString Cli = QStringLiteral(TALLYHOST_CLI_PATH);
const QString Sim = QStringLiteral(TALLYHOST_SIM_PATH);

// Tick: one AlphaNumeric field K that autoincrements, so each run's frame differs and the
// printer can refuse exactly the third one. Answers echo the field after 40 ms.
const QByteArray TerminalFile = "[General]\r\nProtocol=0\r\n[Groups]\r\nG=\r\n[G]\r\nTick=\r\n"
                                "[GTick]\r\nCommands=0,\"&Tick\",\"\",0,\"K\",0,20,0,0,0,0,1\r\n"
                                "Answers=\"Echo\",0,0\r\n";
const QByteArray ScenarioFile = "[Host]\r\nDelay=40\r\nField1=$1\r\n"
                                "[Host.Third]\r\nMatch=K003\r\nFault=nak\r\n";

class CliRepeatTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        Write("tick.thf", TerminalFile);
        Write("tick-sim.ini", ScenarioFile);
        m_sim.start(Sim, {QStringLiteral("--scenario"), m_dir.filePath("tick-sim.ini"),
                          QStringLiteral("--link"), m_dir.path()});
        ASSERT_TRUE(m_sim.waitForStarted(5000));
        for (int i = 0; i < 200 && !QFileInfo::exists(m_dir.filePath("host")); ++i)
            QThread::msleep(10);
        ASSERT_TRUE(QFileInfo::exists(m_dir.filePath("host")));
    }
    void TearDown() override
    {
        m_sim.terminate();
        m_sim.waitForFinished(5000);
    }

    void Write(const QString& name, const QByteArray& bytes)
    {
        QFile f(m_dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // Runs send --repeat `count` --json; the exit code and the parsed output.
    std::pair<int, QJsonObject> Repeat(int count)
    {
        QProcess p;
        p.start(Cli,
                {QStringLiteral("send"), QStringLiteral("--file"), m_dir.filePath("tick.thf"),
                 QStringLiteral("--group"), QStringLiteral("G"), QStringLiteral("--command"),
                 QStringLiteral("Tick"), QStringLiteral("--device"), m_dir.filePath("host"),
                 QStringLiteral("--repeat"), QString::number(count), QStringLiteral("--json")});
        EXPECT_TRUE(p.waitForFinished(30000));
        const QByteArray out = p.readAllStandardOutput();
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(out, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
        return {p.exitCode(), doc.object()};
    }

    QTemporaryDir m_dir;
    QProcess m_sim;
};

} // namespace

TEST_F(CliRepeatTest, ARunStoppedByARefusedCommandReportsWhatItCameTo)
{
    const auto [exit, o] = Repeat(5);
    EXPECT_EQ(exit, 1);
    EXPECT_EQ(o["lastError"].toString(), "EFP_E_NackReceived");
    EXPECT_EQ(o["run"].toInt(), 3);
    const QJsonObject r = o["repeat"].toObject();
    EXPECT_EQ(r["requested"].toInt(), 5);
    EXPECT_EQ(r["sent"].toInt(), 3);
    EXPECT_EQ(r["answered"].toInt(), 2);
    EXPECT_EQ(r["errors"].toInt(), 1);
    // The printer waits 40 ms before each answer; on a busy machine only the order of the
    // figures is certain.
    const QJsonObject ms = r["responseMs"].toObject();
    EXPECT_GT(ms["max"].toInt(), 0);
    EXPECT_LE(ms["min"].toInt(), ms["median"].toInt());
    EXPECT_LE(ms["median"].toInt(), ms["max"].toInt());
    EXPECT_EQ(r["summary"].toString(),
              QStringLiteral("Repeat 5: 3 sent, 2 answered, 1 errors; response min/median/max "
                             "%1/%2/%3 ms")
                  .arg(ms["min"].toInt())
                  .arg(ms["median"].toInt())
                  .arg(ms["max"].toInt()));
}

TEST_F(CliRepeatTest, ACompleteRunReportsEveryAnswer)
{
    const auto [exit, o] = Repeat(2);
    ASSERT_EQ(exit, 0);
    const QJsonObject r = o["repeat"].toObject();
    EXPECT_EQ(r["sent"].toInt(), 2);
    EXPECT_EQ(r["answered"].toInt(), 2);
    EXPECT_EQ(r["errors"].toInt(), 0);
    EXPECT_GT(r["responseMs"].toObject()["max"].toInt(), 0);
    // Each run's own time, the printer's 40 ms (less the few a loaded machine takes to note
    // the frame gone); the last is the answer shown.
    const QJsonArray runs = r["runResponseMs"].toArray();
    ASSERT_EQ(runs.size(), 2);
    for (const QJsonValue& ms : runs)
        EXPECT_GE(ms.toInt(), 25);
    EXPECT_EQ(o["responseMs"].toInt(), runs[1].toInt());
    EXPECT_TRUE(r["summary"].toString().startsWith("Repeat 2: 2 sent, 2 answered, 0 errors;"));
}
