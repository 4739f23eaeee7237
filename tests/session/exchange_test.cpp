// The exchange engine against the printer simulator: what it reports for each way an exchange
// can end, waiting on its own signals.

#include "session/exchange.h"

#include "core/termcache.h"

#include "simprocess.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

using namespace tallyhost;
using tallyhost::testing::SimProcess;

namespace {

constexpr std::chrono::milliseconds ResultWait{20000};

// The demo scenario and one rule of our own: an answer with far more values than the answer
// list of the window holds.
QByteArray Scenario()
{
    QFile file(QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo-sim.ini"));
    QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    QByteArray big = "\r\n[Host.Huge]\r\nMatch=HUGE\r\n";
    for (int i = 1; i <= 150; ++i)
        big += "Field" + QByteArray::number(i) + "=v" + QByteArray::number(i) + "\r\n";
    // Before the catch-all rules of the demo.
    const qsizetype at = text.indexOf("[Host.Status request]");
    text.insert(at < 0 ? text.size() : at, big + "\r\n");
    return text;
}

TCommandFieldDef TextField(const std::string& caption, const std::string& text = {})
{
    TCommandFieldDef f;
    f.Caption = caption;
    f.TextType = ftdAlphaNumeric;
    f.ControlType = ctSimple;
    f.DefaultText = text;
    return f;
}

// A command whose fields hold `values` as typed.
ExchangeRequest Command(const std::vector<std::string>& values, int mode = cmHost)
{
    ExchangeRequest r;
    r.Section = "TestCommand";
    r.Definition.Mode = static_cast<std::uint8_t>(mode);
    for (const std::string& value : values) {
        const int n = r.Definition.FieldCount++;
        r.Definition.Fields[n] = TextField("F" + std::to_string(n + 1));
        FieldInput input;
        input.Text = value;
        r.Inputs.push_back(input);
    }
    return r;
}

// The printer at the far end and both links open on it.
class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Ok());
        m_host.SetDevicePath(m_sim.HostPath());
        m_host.SetBaudRate(br9600);
        ASSERT_TRUE(m_host.OpenPort());
        m_aux.SetDevicePath(m_sim.FiscalPath());
        m_aux.SetTimeOut(1000);
        ASSERT_TRUE(m_aux.OpenPort());
        m_engine.SetLinks(&m_host, &m_aux);
        QObject::connect(&m_engine, &TExchangeEngine::Finished,
                         [this](const ExchangeResult& r) { m_results.push_back(r); });
        QObject::connect(&m_engine, &TExchangeEngine::HandedOver, [this](int run, int count) {
            m_handovers.push_back(std::to_string(run) + "/" + std::to_string(count));
        });
    }

    // Runs the event loop until the engine has reported `count` results in all.
    bool AwaitResults(std::size_t count = 1)
    {
        if (m_results.size() >= count)
            return true;
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        const auto c = QObject::connect(&m_engine, &TExchangeEngine::Finished, &loop, [&] {
            if (m_results.size() >= count)
                loop.quit();
        });
        guard.start(ResultWait);
        loop.exec();
        QObject::disconnect(c);
        return m_results.size() >= count;
    }

    ExchangeResult SendAndAwait(const ExchangeRequest& request)
    {
        const std::size_t before = m_results.size();
        EXPECT_TRUE(m_engine.Send(request));
        EXPECT_TRUE(AwaitResults(before + 1));
        return m_results.size() > before ? m_results.back() : ExchangeResult{};
    }

    // The command frames written on the host port, their fields' text only.
    static std::vector<std::string> WrittenFirstFields(const ExchangeResult& r, int field)
    {
        std::vector<std::string> out;
        for (const WireFrame& w : r.Wire) {
            if (!w.Written || w.Fiscal || w.Bytes.size() < 4)
                continue;
            std::string body = w.Bytes.substr(2, w.Bytes.find('\x03') - 2);
            for (int i = 0; i < field; ++i)
                body = body.substr(body.find('\x1C') + 1);
            out.push_back(body.substr(0, body.find('\x1C')));
        }
        return out;
    }

    SimProcess m_sim{0, Scenario()};
    TFPHostControl m_host;
    TFPAuxControl m_aux;
    TExchangeEngine m_engine;
    std::vector<ExchangeResult> m_results;
    std::vector<std::string> m_handovers;
};

struct OutcomeCase
{
    const char* why;
    std::vector<std::string> values;
    int mode;
    ExchangeOutcome outcome;
    StateWord word;
    const char* faultText;
    const char* lastError;
};

TEST_F(EngineTest, EachWayAnExchangeEndsIsJudgedInTheOperatorsWords)
{
    const std::vector<OutcomeCase> cases = {
        {"host answer", {"*"}, cmHost, ExchangeOutcome::Answered, StateWord::Ready, "", ""},
        {"host NAK",
         {"NAK"},
         cmHost,
         ExchangeOutcome::RefusedNak,
         StateWord::Error,
         "Error!!! Bad data in frame.",
         "EFP_E_NackReceived"},
        {"host silence",
         {"SIL"},
         cmHost,
         ExchangeOutcome::NoAnswer,
         StateWord::TimeOut,
         "Communication errors!!! Fiscal printer not ready.",
         "EFP_E_ReadTimeOut"},
        {"host answer after a NAKed checksum",
         {"CHK"},
         cmHost,
         ExchangeOutcome::Answered,
         StateWord::Ready,
         "",
         ""},
        {"fiscal answer", {"S"}, cmFiscal, ExchangeOutcome::Answered, StateWord::Ready, "", ""},
        {"fiscal lone ACK",
         {"x'05'"},
         cmFiscal,
         ExchangeOutcome::Acknowledged,
         StateWord::Ready,
         "",
         ""},
        {"fiscal NAK",
         {"N"},
         cmFiscal,
         ExchangeOutcome::RefusedNak,
         StateWord::Error,
         "Error!!! Bad data in frame.",
         "FEFP_E_NackReceived"},
        {"bad hex escape",
         {"x'4G'"},
         cmHost,
         ExchangeOutcome::RefusedValue,
         StateWord::Error,
         "Bad user data input in control \"F1\"",
         ""},
    };
    for (const OutcomeCase& c : cases) {
        const ExchangeResult r = SendAndAwait(Command(c.values, c.mode));
        EXPECT_EQ(r.Outcome, c.outcome) << c.why;
        ASSERT_TRUE(r.Word.has_value()) << c.why;
        EXPECT_EQ(*r.Word, c.word) << c.why;
        EXPECT_EQ(r.FaultText, c.faultText) << c.why;
        EXPECT_EQ(r.LastError, c.lastError) << c.why;
        EXPECT_EQ(r.Fiscal, c.mode == cmFiscal) << c.why;
        EXPECT_FALSE(m_engine.Busy()) << c.why;
    }
}

TEST_F(EngineTest, AHostAnswerIsDecodedWithTheStatusRecordsAndTheSentCommandsNames)
{
    TStatusTable fiscal;
    fiscal.Records[0] = {1, 0x0200, 0x0200, "Fiscalized", 0x0000FF};
    fiscal.Records[1] = {1, 0x0400, 0x0400, "Day open", 0xFF0000};
    fiscal.RecordCount = 2;
    fiscal.PanelCount = 1;
    m_engine.SetStatusTables(fiscal, TStatusTable{});
    ExchangeRequest request = Command({"?"});
    request.Definition.Answers[0] = {"Model", ftdAlphaNumeric, 0};
    request.Definition.AnswerCount = 1;

    const ExchangeResult r = SendAndAwait(request);
    ASSERT_EQ(r.Outcome, ExchangeOutcome::Answered);
    EXPECT_EQ(r.FiscalStatus, 0x0600);
    ASSERT_EQ(r.FiscalPanels.size(), 1u);
    // A later matching record replaces an earlier one on the same panel.
    EXPECT_EQ(r.FiscalPanels[0].Text, "Day open");
    ASSERT_FALSE(r.AnswerFields.empty());
    // Compatibility protocol: the first answer field names position 0.
    EXPECT_EQ(r.AnswerFields[0].Label, "Model");
    EXPECT_TRUE(r.ResponseMs.has_value());
    EXPECT_EQ(r.Run, 1);
    EXPECT_EQ(m_handovers, std::vector<std::string>{"1/1"});
}

TEST_F(EngineTest, AHugeAnswerKeepsEveryValue)
{
    const ExchangeResult r = SendAndAwait(Command({"HUGE"}));
    ASSERT_EQ(r.Outcome, ExchangeOutcome::Answered);
    ASSERT_EQ(r.ExtraFields.size(), 150u);
    EXPECT_EQ(r.ExtraFields.back(), "v150");
    // Three leading entries, then every extra field, the unnamed ones too.
    ASSERT_EQ(r.AnswerFields.size(), 153u);
    EXPECT_EQ(r.AnswerFields.back().Value, "v150");
    EXPECT_FALSE(r.AnswerFields.back().Named);
}

TEST_F(EngineTest, RepeatNumbersEachRunFromOneAgainAndTalliesTheRuns)
{
    ExchangeRequest request = Command({"B", "T"});
    request.Definition.Fields[1].AutoIncrement = true;

    ASSERT_TRUE(m_engine.Repeat(request, 3));
    ASSERT_TRUE(AwaitResults(1));
    const ExchangeResult first = m_results.back();
    EXPECT_EQ(first.Outcome, ExchangeOutcome::Answered);
    EXPECT_EQ(WrittenFirstFields(first, 1), (std::vector<std::string>{"T001", "T002", "T003"}));
    EXPECT_EQ(m_handovers, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
    ASSERT_TRUE(first.Tally.has_value());
    EXPECT_EQ(first.Tally->Sent(), 3);
    EXPECT_EQ(first.Tally->AnsweredCount(), 3);
    EXPECT_EQ(first.Tally->Errors(), 0);

    // The next repeat of the same command starts at 1 again; a plain Send never numbers.
    ASSERT_TRUE(m_engine.Repeat(request, 2));
    ASSERT_TRUE(AwaitResults(2));
    EXPECT_EQ(WrittenFirstFields(m_results.back(), 1), (std::vector<std::string>{"T001", "T002"}));
    EXPECT_EQ(WrittenFirstFields(SendAndAwait(request), 1), std::vector<std::string>{"T"});
}

TEST_F(EngineTest, RepeatStopsAtTheRunThePrinterRefuses)
{
    ASSERT_TRUE(m_engine.Repeat(Command({"NAK"}), 5));
    ASSERT_TRUE(AwaitResults());
    const ExchangeResult& r = m_results.back();
    EXPECT_EQ(r.Outcome, ExchangeOutcome::RefusedNak);
    EXPECT_EQ(r.Run, 1);
    ASSERT_TRUE(r.Tally.has_value());
    EXPECT_EQ(r.Tally->Sent(), 1);
    EXPECT_EQ(r.Tally->Errors(), 1);
}

TEST_F(EngineTest, RefusedRepeatsSendNothing)
{
    EXPECT_FALSE(m_engine.Repeat(Command({"*"}), 0));
    EXPECT_FALSE(m_engine.Repeat(Command({"*"}), 1000));
    EXPECT_FALSE(m_engine.Repeat(Command({"S"}, cmFiscal), 3));
    EXPECT_TRUE(m_handovers.empty());
    EXPECT_TRUE(m_results.empty());
    EXPECT_FALSE(m_engine.Busy());
}

TEST_F(EngineTest, CancelEndsARepeatAndItsLateAnswerIsIgnored)
{
    QObject::connect(&m_engine, &TExchangeEngine::HandedOver, [this](int run, int) {
        if (run == 2)
            m_engine.Cancel();
    });
    ASSERT_TRUE(m_engine.Repeat(Command({"*"}), 50));
    ASSERT_TRUE(AwaitResults());
    ExchangeResult r = m_results.back();
    EXPECT_EQ(r.Outcome, ExchangeOutcome::Cancelled);
    EXPECT_EQ(r.Word, StateWord::Abort);
    ASSERT_TRUE(r.Tally.has_value());
    EXPECT_EQ(r.Tally->Sent(), 2);
    EXPECT_FALSE(m_engine.Busy());

    // The purged command's report comes to nothing; the next command gets its own answer.
    r = SendAndAwait(Command({"?"}));
    EXPECT_EQ(r.Outcome, ExchangeOutcome::Answered);
    EXPECT_EQ(m_results.size(), 2u);
}

TEST_F(EngineTest, APortClosedMidExchangeEndsItEvenWhenReopenedAtOnce)
{
    struct Case
    {
        const char* why;
        int repeat; // 0: a Send
        bool reopen;
    };
    const Case cases[] = {{"send", 0, false}, {"repeat, port reopened at once", 4, true}};
    for (const Case& c : cases) {
        m_results.clear();
        const auto closer = QObject::connect(&m_engine, &TExchangeEngine::HandedOver, [&] {
            m_host.ClosePort();
            if (c.reopen)
                m_host.OpenPort();
        });
        if (c.repeat)
            ASSERT_TRUE(m_engine.Repeat(Command({"SLOW"}), c.repeat)) << c.why;
        else
            ASSERT_TRUE(m_engine.Send(Command({"SLOW"}))) << c.why;
        ASSERT_TRUE(AwaitResults()) << c.why;
        QObject::disconnect(closer);
        const ExchangeResult r = m_results.back();
        EXPECT_EQ(r.Outcome, ExchangeOutcome::PortClosed) << c.why;
        EXPECT_EQ(r.Word, StateWord::Error) << c.why;
        EXPECT_EQ(r.Refusal, "the host port was closed with the command out") << c.why;
        EXPECT_EQ(r.Run, 1) << c.why;
        if (c.repeat) {
            ASSERT_TRUE(r.Tally.has_value());
            EXPECT_EQ(r.Tally->SummaryText(),
                      "Repeat 4: 1 sent, 0 answered, 1 errors; response min/median/max -/-/- ms");
        }
        m_host.OpenPort();
    }
}

TEST_F(EngineTest, AClosedPortSendsNothing)
{
    m_host.ClosePort();
    const ExchangeResult r = SendAndAwait(Command({"*"}));
    EXPECT_EQ(r.Outcome, ExchangeOutcome::PortClosed);
    EXPECT_TRUE(r.NothingSent());
    EXPECT_TRUE(m_handovers.empty());
}

TEST_F(EngineTest, ASendWaitsForTheLinkToBeIdle)
{
    // Someone else's command is out: ours goes once the link has its answer.
    ASSERT_TRUE(m_host.AddDataField("?"));
    ASSERT_TRUE(m_host.SendCommand());
    ASSERT_TRUE(m_engine.Send(Command({"*"})));
    EXPECT_TRUE(m_engine.Busy());
    EXPECT_TRUE(m_handovers.empty());
    ASSERT_TRUE(AwaitResults());
    EXPECT_EQ(m_results.back().Outcome, ExchangeOutcome::Answered);
    EXPECT_EQ(m_handovers, std::vector<std::string>{"1/1"});

    // Withdrawn while it waits (the operator chose another command): nothing of ours goes
    // out, and the other command is left to its answer.
    ASSERT_TRUE(m_host.AddDataField("?"));
    ASSERT_TRUE(m_host.SendCommand());
    ASSERT_TRUE(m_engine.Send(Command({"*"})));
    m_engine.Withdraw();
    ASSERT_EQ(m_results.size(), 2u);
    EXPECT_EQ(m_results.back().Outcome, ExchangeOutcome::Cancelled);
    EXPECT_TRUE(m_results.back().NothingSent());
    EXPECT_FALSE(m_engine.Busy());
    QEventLoop loop;
    QObject::connect(&m_host, &TFPHostControl::OnFinalAnswer, &loop, &QEventLoop::quit);
    QTimer::singleShot(ResultWait, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(m_host.LastError(), EFP_Success) << "the other command was purged";
    EXPECT_EQ(m_handovers.size(), 1u);
}

// The panel's rules that hold before anything goes out need no printer.
struct RefusalCase
{
    const char* why;
    std::function<void(ExchangeRequest&)> change;
    ExchangeOutcome outcome;
    int refusedField;
    const char* refusal;
};

TEST(EngineRefusalTest, ValuesThatCannotBeSentAreRefusedBeforeAnyLink)
{
    const std::vector<RefusalCase> cases = {
        {"required empty", [](ExchangeRequest& r) { r.Definition.Fields[1].Required = true; },
         ExchangeOutcome::RefusedValue, 1, "field 'F2' is required"},
        {"required but read only",
         [](ExchangeRequest& r) {
             r.Definition.Fields[1].Required = true;
             r.Definition.Fields[1].ReadOnly = true;
         },
         ExchangeOutcome::PortClosed, -1, "the host port is not open"},
        {"required and filled", [](ExchangeRequest& r) { r.Definition.Fields[0].Required = true; },
         ExchangeOutcome::PortClosed, -1, "the host port is not open"},
        {"no fields", [](ExchangeRequest& r) { r.Definition.FieldCount = 0; },
         ExchangeOutcome::NothingToSend, -1, ""},
    };
    for (const RefusalCase& c : cases) {
        TExchangeEngine engine; // no links: whatever passes the checks finds no port
        std::vector<ExchangeResult> results;
        QObject::connect(&engine, &TExchangeEngine::Finished,
                         [&](const ExchangeResult& r) { results.push_back(r); });
        ExchangeRequest request = Command({"A", ""});
        c.change(request);
        ASSERT_TRUE(engine.Send(request)) << c.why;
        ASSERT_EQ(results.size(), 1u) << c.why;
        EXPECT_EQ(results[0].Outcome, c.outcome) << c.why;
        EXPECT_EQ(results[0].RefusedField, c.refusedField) << c.why;
        EXPECT_EQ(results[0].Refusal, c.refusal) << c.why;
        EXPECT_TRUE(results[0].NothingSent()) << c.why;
    }
}

TEST(EngineRefusalTest, FrameFieldsNamesTheFieldItRefuses)
{
    ExchangeRequest request = Command({"ok", "x'4G'"});
    std::vector<std::string> fields;
    int refused = -1;
    EXPECT_EQ(FrameFields(request, 0, 0, fields, &refused),
              "Bad user data input in control: field 'F2': Bad user data input in control");
    EXPECT_EQ(refused, 1);

    request.UnreadableField = 0;
    EXPECT_NE(FrameFields(request, 0, 0, fields, &refused), "");
    EXPECT_EQ(refused, 0);

    request = Command({"1x'0D0A'2"});
    EXPECT_EQ(FrameFields(request, 0, 0, fields), "");
    EXPECT_EQ(fields, std::vector<std::string>{"1\r\n2"});
}

// The entry showing the answer's first extra field ("v1"), or null.
const AnswerEntry* FirstValueEntry(const ExchangeResult& r)
{
    for (const AnswerEntry& entry : r.AnswerFields)
        if (entry.Value == "v1")
            return &entry;
    return nullptr;
}

TEST(AnswerDecodeTest, TheSentCommandsAnswerFieldsAsTheCatalogueHasThemNameTheValues)
{
    TTerminalCache catalogue;
    catalogue.LoadFromBytes("[Named]\r\nAnswers=Serial,0,0\r\n"
                            "[Broken]\r\nAnswers=Serial,x,0\r\n"
                            "[Return codes]\r\nRC7=Paper out\r\n");
    struct Case
    {
        const char* why;
        const TTerminalCache* cache;
        std::string section;
        std::string label;       // of the first value
        std::string description; // of return code 7
    };
    const std::vector<Case> cases = {
        {"named by the catalogue over the request", &catalogue, "Named", "Serial", "Paper out"},
        {"a broken answer list names nothing", &catalogue, "Broken", "Field3", "Paper out"},
        {"a section without answers names nothing", &catalogue, "Missing", "Field3", "Paper out"},
        {"no catalogue: the request's own names", nullptr, "Named", "Model", ""},
    };
    TStatusTable fiscal;
    fiscal.Records[0] = {1, 0x0001, 0x0001, "Open", 0x0000FF};
    fiscal.RecordCount = 1;
    fiscal.PanelCount = 1;
    TCommandDefinition names;
    names.Answers[0] = {"Model", ftdAlphaNumeric, 0};
    names.AnswerCount = 1;
    ExchangeSettings settings;
    settings.Protocol = 1; // extended: the first answer field names the first extra value
    for (const Case& c : cases) {
        ExchangeResult r;
        r.FiscalStatus = 0x0001;
        r.ReturnCode = 7;
        r.ExtraFields = {"v1", "v2"};
        DecodeAnswer(r, c.cache, c.section, names, settings, fiscal, TStatusTable{});
        const AnswerEntry* first = FirstValueEntry(r);
        ASSERT_NE(first, nullptr) << c.why;
        EXPECT_EQ(first->Label, c.label) << c.why;
        EXPECT_EQ(r.ReturnCodeDescription, c.description) << c.why;
        ASSERT_EQ(r.FiscalPanels.size(), 1u) << c.why;
        EXPECT_EQ(r.FiscalPanels[0].Text, "Open") << c.why;
        EXPECT_TRUE(r.PrinterPanels.empty()) << c.why;
    }
}

} // namespace
