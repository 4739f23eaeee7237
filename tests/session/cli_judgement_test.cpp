// tallyhost-cli send and the engine that the terminal window drives give the same judgement
// of the same exchange with the same printer.

#include "session/exchange.h"
#include "session/request.h"

#include "core/termcache.h"
#include "core/termfile.h"
#include "simprocess.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tallyhost;
using tallyhost::testing::SimProcess;

namespace {

const QString Catalogue = QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo.thf");

QByteArray DemoScenario()
{
    QFile file(QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo-sim.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The engine's result for one catalogue command with the values the panel shows at first.
ExchangeResult EngineResult(const SimProcess& sim, const std::string& group,
                            const std::string& command, int field, const std::string& value)
{
    TTerminalCache cache;
    EXPECT_TRUE(cache.LoadFromFile(Catalogue.toStdString()));
    ExchangeRequest request;
    EXPECT_EQ(LoadExchangeRequest(cache, CommandSectionName(group, command), request), "");
    std::vector<std::optional<std::string>> given(static_cast<std::size_t>(field));
    if (field > 0)
        given.back() = value;
    EXPECT_EQ(FillRequestInputs(cache, request, given), "");
    TStatusTable fiscal;
    TStatusTable printer;
    LoadStatusRecords(cache, SectionFiscalAnswer, fiscal);
    LoadStatusRecords(cache, SectionPrinterAnswer, printer);

    TFPHostControl host;
    host.SetDevicePath(sim.HostPath());
    host.SetBaudRate(br9600);
    EXPECT_TRUE(host.OpenPort());
    TFPAuxControl aux;
    aux.SetDevicePath(sim.FiscalPath());
    aux.SetTimeOut(1000);
    EXPECT_TRUE(aux.OpenPort());
    TExchangeEngine engine;
    engine.SetLinks(&host, &aux);
    engine.SetCatalogue(&cache);
    engine.SetStatusTables(fiscal, printer);
    ExchangeSettings settings;
    // The demo catalogue's [General] settings, which the command line reads from the file.
    settings.Protocol = 1;
    settings.InputDateFormat = 6;
    settings.OutputDateFormat = 1;
    engine.SetSettings(settings);

    bool done = false;
    QEventLoop loop;
    QObject::connect(&engine, &TExchangeEngine::Finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    EXPECT_TRUE(engine.Send(request));
    if (!done)
        loop.exec();
    EXPECT_TRUE(done);
    return engine.LastResult();
}

QJsonObject CliResult(const SimProcess& sim, const QString& group, const QString& command,
                      int field, const QString& value)
{
    QStringList args{"send",
                     "--file",
                     Catalogue,
                     "--group",
                     group,
                     "--command",
                     command,
                     "--device",
                     QString::fromStdString(sim.HostPath()),
                     "--fiscal-device",
                     QString::fromStdString(sim.FiscalPath()),
                     "--json"};
    if (field > 0)
        args << QString::number(field) + "=" + value;
    QProcess p;
    p.start(QStringLiteral(TALLYHOST_CLI_PATH), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

TEST(CliJudgement, TheCommandLineAndTheEngineJudgeAnExchangeAlike)
{
    SimProcess sim(0, DemoScenario());
    ASSERT_TRUE(sim.Ok());
    struct Case
    {
        const char* group;
        const char* command;
        int field; // 1-based field given `value`, 0 for none
        const char* value;
    };
    const Case cases[] = {
        {"Sales", "Close receipt", 3, "12.50"},
        {"Sales", "Close receipt", 0, ""}, // Amount is Required
        {"Status", "Printer information", 0, ""},
        {"Faults", "Refused with NAK", 0, ""},
        {"Fiscal port", "Daily summary", 0, ""},
    };
    for (const Case& c : cases) {
        const char* command = c.command;
        const ExchangeResult engine = EngineResult(sim, c.group, c.command, c.field, c.value);
        const QJsonObject cli = CliResult(sim, c.group, c.command, c.field, c.value);
        if (engine.Outcome == ExchangeOutcome::RefusedValue) {
            EXPECT_EQ(cli["error"].toString().toStdString(), engine.Refusal) << command;
            continue;
        }
        if (!engine.Succeeded()) {
            EXPECT_EQ(cli["error"].toString().toStdString(), engine.FaultText) << command;
            EXPECT_EQ(cli["status"].toString().toStdString(),
                      StateWordText(engine.Word.value_or(StateWord::Ready)))
                << command;
            EXPECT_EQ(cli["lastError"].toString().toStdString(), engine.LastError) << command;
            continue;
        }
        ASSERT_FALSE(cli.contains("error")) << command;
        if (engine.Fiscal) {
            const QJsonArray answers = cli["answers"].toArray();
            ASSERT_EQ(answers.size(), static_cast<qsizetype>(engine.FiscalFrames.size()));
            for (qsizetype i = 0; i < answers.size(); ++i)
                EXPECT_EQ(answers[i].toObject()["data"].toString().toStdString(),
                          engine.FiscalFrames[static_cast<std::size_t>(i)].Data);
            continue;
        }
        EXPECT_EQ(cli["returnCode"].toObject()["description"].toString().toStdString(),
                  engine.ReturnCodeDescription)
            << command;
        QJsonArray fields;
        for (const AnswerEntry& e : engine.AnswerFields) {
            if (e.Visible)
                fields.append(
                    QJsonArray{QString::fromStdString(e.Label), QString::fromStdString(e.Value)});
        }
        QJsonArray cliFields;
        for (const QJsonValue& f : cli["fields"].toArray())
            cliFields.append(QJsonArray{f["label"].toString(), f["value"].toString()});
        EXPECT_GT(fields.size(), 1) << command;
        EXPECT_EQ(cliFields, fields) << command;
    }
}

} // namespace
