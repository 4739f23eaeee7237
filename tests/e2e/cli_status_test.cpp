// tallyhost-cli status and rc as child processes, on a copy of the demo catalogue.

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

struct CliResult
{
    int Exit = -1;
    QByteArray Out;
    QByteArray Err;
    QJsonObject Json() const { return QJsonDocument::fromJson(Out).object(); }
};

class CliStatusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("demo.thf"));
        ASSERT_TRUE(QFile::copy(Demo, m_file));
        QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner);
    }

    CliResult Invoke(const QString& command, QStringList args) const
    {
        QProcess p;
        p.start(Cli, QStringList{command, QStringLiteral("--file"), m_file} + args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardOutput(), p.readAllStandardError()};
    }
    QByteArray Bytes() const
    {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::string Section(const QByteArray& heading) const
    {
        return SectionBytes(heading).toStdString();
    }
    QByteArray SectionBytes(const QByteArray& heading) const
    {
        const QByteArray all = Bytes();
        // The heading at the start of a line (the template's comments name the sections too).
        qsizetype start = all.indexOf("\n" + heading);
        if (start < 0)
            return {};
        ++start;
        const qsizetype end = all.indexOf("\r\n[", start + 1);
        return all.mid(start, end < 0 ? -1 : end + 2 - start);
    }

    QTemporaryDir m_dir;
    QString m_file;
};

TEST_F(CliStatusTest, ListsAddsModifiesAndRemovesRecordsAsTheEditorStoresThem)
{
    CliResult list = Invoke("status", {"--printer", "--json"});
    ASSERT_EQ(list.Exit, 0) << list.Err.toStdString();
    const QJsonArray records = list.Json()["records"].toArray();
    ASSERT_EQ(records.size(), 10);
    EXPECT_EQ(records[0].toObject(),
              QJsonDocument::fromJson(R"({"number":1,"panel":"1","mask":"0001","result":"0000",
                                         "text":"Printer ready","color":"clGreen"})")
                  .object());
    EXPECT_EQ(records[9].toObject()["color"].toString(), "clRed");

    const std::string fiscalBefore = Section("[FiscalAnswer]");
    CliResult add = Invoke("status", {"--printer", "--add", "panel=6", "mask=f", "result=1",
                                      "text=Say \"hi\"", "color=clred"});
    ASSERT_EQ(add.Exit, 0) << add.Err.toStdString();
    EXPECT_TRUE(Section("[PrinterAnswer]")
                    .ends_with("Record10=10,5,8000,8000,\"Attention: see other bits\",clRed\r\n"
                               "Record11=11,6,000F,0001,\"Say \"\"hi\"\"\",clRed\r\n"));
    EXPECT_EQ(Section("[FiscalAnswer]"), fiscalBefore);

    // Modify changes only what is given: record 8's decimal colour stays as written.
    ASSERT_EQ(Invoke("status", {"--printer", "--modify", "8", "text=Drawer open"}).Exit, 0);
    EXPECT_TRUE(
        Section("[PrinterAnswer]").find("Record8=8,4,0040,0040,\"Drawer open\",8388608\r\n") !=
        std::string::npos);
    ASSERT_EQ(Invoke("status", {"--printer", "--remove", "1"}).Exit, 0);
    list = Invoke("status", {"--printer"});
    EXPECT_TRUE(
        list.Out.startsWith("1 panel=1 mask=0001 result=0001 color=clRed text=Printer error\n"))
        << list.Out.toStdString();
    EXPECT_TRUE(
        Section("[PrinterAnswer]").starts_with("[PrinterAnswer]\r\nRecord1=1,1,0001,0001,"));
}

TEST_F(CliStatusTest, RefusesBadValuesBeforeWriting)
{
    const QByteArray before = Bytes();
    const QList<QStringList> refused{
        {"--fiscal", "--add", "panel=1", "mask=xyz", "result=1", "text=T", "color=clRed"},
        {"--fiscal", "--add", "panel=1", "mask=1", "result=1", "color=clRed"},
        {"--fiscal", "--add", "panel=17", "mask=1", "result=1", "text=T", "color=clRed"},
        {"--fiscal", "--add", "panel=1", "mask=1", "result=12345", "text=T", "color=clRed"},
        {"--fiscal", "--add", "panel=1", "mask=1", "result=1", "text=T", "color=reddish"},
        {"--fiscal", "--modify", "99", "text=T"},
        {"--fiscal", "--remove", "0"},
        {"--add", "panel=1", "mask=1", "result=1", "text=T", "color=clRed"},
        {"--test", "FFFFF", "0"},
    };
    for (const QStringList& args : refused) {
        const CliResult r = Invoke("status", args);
        EXPECT_EQ(r.Exit, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(r.Err.isEmpty()) << args.join(' ').toStdString();
    }
    EXPECT_EQ(Invoke("rc", {"--add", "number=0", "text=Again"}).Exit, 2);
    EXPECT_EQ(Invoke("rc", {"--add", "number=12a", "text=Bad"}).Exit, 2);
    EXPECT_EQ(Invoke("rc", {"--add", "number=5"}).Exit, 2);
    EXPECT_EQ(Invoke("rc", {"--modify", "1", "number=2"}).Exit, 2);
    EXPECT_EQ(Invoke("rc", {"--remove", "8"}).Exit, 2);
    EXPECT_EQ(Bytes(), before);
}

TEST_F(CliStatusTest, AnUnwritableFileExitsWithOne)
{
    const QByteArray before = Bytes();
    QFile::setPermissions(m_file, QFile::ReadOwner);
    const CliResult r = Invoke("rc", {"--add", "number=8", "text=Eight"});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_TRUE(r.Err.contains("Unable to write to")) << r.Err.toStdString();
    const CliResult s = Invoke("status", {"--fiscal", "--remove", "1"});
    EXPECT_EQ(s.Exit, 1);
    QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(Bytes(), before);
}

TEST_F(CliStatusTest, ReturnCodesAreNormalizedSortedAndListed)
{
    ASSERT_EQ(Invoke("rc", {"--add", "number=007", "text=Seven"}).Exit, 0);
    const CliResult dup = Invoke("rc", {"--add", "number=7", "text=Again"});
    EXPECT_EQ(dup.Exit, 2);
    EXPECT_TRUE(dup.Err.contains("The return codes already exits !!!"));
    ASSERT_EQ(Invoke("rc", {"--modify", "2049", "number=5", "text=Paper out"}).Exit, 0);
    EXPECT_EQ(Section("[Return codes]"),
              "[Return codes]\r\nRC0=Command completed\r\nRC1=Unknown command\r\n"
              "RC2=Invalid field value\r\nRC3=Command not valid in this state\r\n"
              "RC5=Paper out\r\nRC7=Seven\r\nRC4097=Fiscal memory full\r\n");
    const CliResult list = Invoke("rc", {"--json"});
    ASSERT_EQ(list.Exit, 0);
    const QJsonArray codes = list.Json()["codes"].toArray();
    ASSERT_EQ(codes.size(), 7);
    EXPECT_EQ(codes[5].toObject()["number"].toInt(), 7);
    EXPECT_EQ(codes[5].toObject()["text"].toString(), "Seven");
    ASSERT_EQ(Invoke("rc", {"--remove", "0007"}).Exit, 0);
    EXPECT_EQ(Section("[Return codes]").find("RC7="), std::string::npos);
}

TEST_F(CliStatusTest, TestDecodesBothWordsWithTheFilesRecords)
{
    const CliResult r = Invoke("status", {"--test", "0600", "1", "--json"});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QJsonObject fiscal = r.Json()["fiscal"].toObject();
    const QJsonObject printer = r.Json()["printer"].toObject();
    EXPECT_EQ(fiscal["word"].toString(), "0600");
    EXPECT_EQ(printer["word"].toString(), "0001");
    // 0600: panel 1 day closed, 2 fiscalized, 3 command accepted, 4 memory OK; 5 and 6 empty.
    const QJsonArray panels = fiscal["panels"].toArray();
    ASSERT_EQ(panels.size(), 4);
    EXPECT_EQ(
        panels[1].toObject(),
        QJsonDocument::fromJson(R"({"panel":2,"text":"Fiscalized","color":"clGreen"})").object());
    EXPECT_EQ(printer["panels"].toArray()[0].toObject()["text"].toString(), "Printer error");

    const CliResult text = Invoke("status", {"--test", "0600", "0001"});
    EXPECT_TRUE(text.Out.startsWith("Fiscal answer = 0600\n  1 clGreen Fiscal day closed\n"))
        << text.Out.toStdString();
}

} // namespace
