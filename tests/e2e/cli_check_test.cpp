// tallyhost-cli check run as a child process on real files.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Cli = QStringLiteral(TALLYHOST_CLI_PATH);
const QString Demo = QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo.thf");

struct CheckRun
{
    int Exit = -1;
    QByteArray Out;
    QByteArray Err;
};

CheckRun check(const QStringList& args)
{
    QProcess p;
    p.start(Cli, QStringList{QStringLiteral("check")} + args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

} // namespace

TEST(CliCheck, DemoCatalogueIsClean)
{
    const CheckRun text = check({Demo});
    EXPECT_EQ(text.Exit, 0) << text.Out.toStdString();
    EXPECT_TRUE(text.Out.isEmpty());
    const CheckRun json = check({QStringLiteral("--json"), Demo});
    EXPECT_EQ(json.Exit, 0);
    EXPECT_EQ(json.Out, "{\"findings\":[]}\n");
}

TEST(CliCheck, FindingsWithTheirLinesAsTextAndJson)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.thf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // LF line ends: the lines count the same.
    file.write("[General]\nProtocol=0\nInputDateFormat=0\nOutputDateFormat=0\n"
               "[Groups]\nDaily=\n[Daily]\nOpen=\n"
               "[DailyOpen]\nCommands=0,\"Cap\",\"\",3,\"1x\",0,0,0,0,0,0,0\n"
               "[FiscalAnswer]\nRecord1=1,1,0001,0001,\"Text\",clPink\n");
    file.close();

    const CheckRun text = check({path});
    EXPECT_EQ(text.Exit, 1);
    EXPECT_EQ(
        text.Out.toStdString(),
        path.toStdString() +
            ":10: error: [DailyOpen] Commands: field 1: default text '1x' is refused by the "
            "Numeric filter (the box shows it empty)\n" +
            path.toStdString() +
            ":12: error: [FiscalAnswer] Record1: unknown colour: 'clPink' is neither a colour "
            "name nor a colour value\n2 findings\n");

    const CheckRun json = check({path, QStringLiteral("--json")});
    EXPECT_EQ(json.Exit, 1);
    const QJsonArray findings = QJsonDocument::fromJson(json.Out).object()["findings"].toArray();
    ASSERT_EQ(findings.size(), 2) << json.Out.toStdString();
    const QJsonObject first = findings[0].toObject();
    EXPECT_EQ(first["line"].toInt(), 10);
    EXPECT_EQ(first["section"].toString(), "DailyOpen");
    EXPECT_EQ(first["key"].toString(), "Commands");
    EXPECT_EQ(first["severity"].toString(), "error");
    EXPECT_EQ(findings[1].toObject()["line"].toInt(), 12);
    EXPECT_EQ(findings[1].toObject()["message"].toString(),
              "unknown colour: 'clPink' is neither a colour name nor a colour value");
}

TEST(CliCheck, UnreadableFileAndBadArguments)
{
    QTemporaryDir dir;
    const CheckRun missing = check({dir.filePath(QStringLiteral("none.thf"))});
    EXPECT_EQ(missing.Exit, 2);
    EXPECT_TRUE(missing.Out.isEmpty());
    EXPECT_TRUE(missing.Err.contains("cannot read")) << missing.Err.toStdString();
    EXPECT_EQ(check({dir.path()}).Exit, 2);
    EXPECT_EQ(check({}).Exit, 2);
    EXPECT_EQ(check({Demo, QStringLiteral("--frobnicate")}).Exit, 2);
    const CheckRun help = check({QStringLiteral("--help")});
    EXPECT_EQ(help.Exit, 0);
    EXPECT_TRUE(help.Out.startsWith("usage: tallyhost-cli check FILE [--json]"));
}
