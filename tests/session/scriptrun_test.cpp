// Test scripts through the engine: expectations judged on an exchange's result, and a session
// recorded against the simulator replayed against it and against a printer that answers one
// command otherwise.

#include "core/inputrules.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "session/commandvalues.h"
#include "session/scriptcheck.h"
#include "session/scriptrecord.h"
#include "session/scriptrunner.h"

#include "simprocess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace tallyhost;
using tallyhost::testing::SimProcess;

namespace {

ExchangeResult Answer()
{
    ExchangeResult r;
    r.Outcome = ExchangeOutcome::Answered;
    r.PrinterStatus = 0x0048;
    r.FiscalStatus = 0x1600;
    r.ReturnCode = 3;
    r.PrinterPanels = {StatusPanelText{true, "Paper out", 0}, StatusPanelText{}};
    r.FiscalPanels = {StatusPanelText{true, "Fiscal receipt open", 0}};
    r.AnswerFields = {AnswerEntry{3, "Receipt number", "00001234", ""},
                      AnswerEntry{4, "Amount paid", "00000125.50", ""},
                      AnswerEntry{5, "Paid by", "Card", ""}};
    r.ResponseMs = 40;
    return r;
}

TExpectation Parsed(const std::string& line)
{
    const TScriptParse p = ParseScript(
        "catalogue c.thf\ncase A\nsend G C\nkeep r F\nkeep pay F\nkeep p F\nkeep gone F\n" + line +
            "\n",
        "t.ths");
    EXPECT_EQ(p.Refusals, std::vector<std::string>{}) << line;
    EXPECT_FALSE(p.Script.Cases.empty());
    const auto& steps = p.Script.Cases.front().Steps;
    EXPECT_FALSE(steps.empty() || steps.front().Expectations.empty()) << line;
    return steps.empty() || steps.front().Expectations.empty() ? TExpectation{}
                                                               : steps.front().Expectations.front();
}

TEST(ScriptJudge, EachExpectationAgainstAnAnswer)
{
    ExchangeResult fiscal;
    fiscal.Outcome = ExchangeOutcome::Answered;
    fiscal.Fiscal = true;
    fiscal.FiscalFrames = {{"0005 Sales 125.50", false}, {"0000 End", true}};
    ExchangeResult silent;
    silent.Outcome = ExchangeOutcome::NoAnswer;
    const std::vector<TVariable> vars{{"r", "00001234"}, {"pay", "Card"}, {"p", "("}};
    ExchangeResult hard = Answer(); // a value the pattern below backtracks on beyond the limit
    hard.AnswerFields[2].Value = std::string(5000, 'a') + "!";
    const struct
    {
        const char* Line;
        const ExchangeResult* Result;
        bool Met;
        const char* Actual;
        bool Error = false;
    } rows[] = {
        {"expect printer-status 0048", nullptr, true, "0048"},
        {"expect printer-status 48", nullptr, true, "0048"},
        {"expect printer-status 0040", nullptr, false, "0048"},
        {"expect printer-status mask 0008 = 0008", nullptr, true, "0048"},
        {"expect fiscal-status mask 3000 = 0000", nullptr, false, "1600"},
        {"expect return-code 3", nullptr, true, "3"},
        {"expect return-code 0", nullptr, false, "3"},
        {"expect lit \"Paper out\"", nullptr, true, "Fiscal receipt open, Paper out"},
        {"expect lit \"Paper low\"", nullptr, false, "Fiscal receipt open, Paper out"},
        {"expect field \"Receipt number\" = ${r}", nullptr, true, "00001234"},
        {"expect field \"receipt NUMBER\" = 00001234", nullptr, true, "00001234"},
        {"expect field \"Paid by\" = ${pay}x", nullptr, false, "Card"},
        {"expect field \"Amount paid\" ~ ^0+125\\.5", nullptr, true, "00000125.50"},
        {"expect field \"Amount paid\" in 100..125.5", nullptr, true, "00000125.50"},
        {"expect field \"Amount paid\" in 0..125.49", nullptr, false, "00000125.50"},
        {"expect field \"Paid by\" in 0..1", nullptr, false, "Card"},
        {"expect field Change = 0", nullptr, false, "no such field in the answer"},
        {"expect outcome answered", nullptr, true, "answered"},
        {"expect outcome no-answer", &silent, true, "no-answer"},
        {"expect printer-status 0000", &silent, false, "no answer (no-answer)"},
        {"expect response-time <= 40", nullptr, true, "40 ms"},
        {"expect response-time < 40", nullptr, false, "40 ms"},
        {"expect response-time < 40", &silent, false, "no response time"},
        {"expect fiscal-answer contains \"Sales 125\"", &fiscal, true,
         "0005 Sales 125.50\n0000 End"},
        {"expect fiscal-answer ~ \"^0000 End$\"", &fiscal, true, "0005 Sales 125.50\n0000 End"},
        {"expect fiscal-answer ~ ^Sales", &fiscal, false, "0005 Sales 125.50\n0000 End"},
        // The boundaries: both ends of a range, an empty mask, the largest word.
        {"expect field \"Amount paid\" in 125.5..200", nullptr, true, "00000125.50"},
        {"expect field \"Amount paid\" in 125.51..200", nullptr, false, "00000125.50"},
        {"expect printer-status mask 0000 = 0000", nullptr, true, "0048"},
        {"expect response-time < 41", nullptr, true, "40 ms"},
        {"expect field Field5 = Card", nullptr, true, "Card"}, // by its place
        {"expect field \"Paid by\" ~ \"^(\\w+\\s?)*$\"", &hard, false,
         "pattern too complex to match against this value", true},
        {"expect field \"Paid by\" ~ ${p}", nullptr, false,
         "'(' is not a valid regular expression (missing closing parenthesis)", true},
        {"expect field \"Paid by\" = ${gone}", nullptr, false, "no value kept in 'gone'", true},
    };
    const ExchangeResult answer = Answer();
    for (const auto& row : rows) {
        bool met = !row.Met;
        bool error = !row.Error;
        const std::string actual = JudgeExpectation(
            Parsed(row.Line), row.Result ? *row.Result : answer, vars, &met, &error);
        EXPECT_EQ(met, row.Met) << row.Line;
        EXPECT_EQ(actual, row.Actual) << row.Line;
        EXPECT_EQ(error, row.Error) << row.Line;
    }
}

TEST(ScriptRecord, AnUnreadableScriptIsSaidToBeSoAndLeftAlone)
{
    // A script that exists but cannot be read is not taken for an empty one ("names no
    // catalogue"). A folder cannot be read as a file, whoever runs the test; a file without
    // read permission cannot, unless the test runs as root.
    QTemporaryDir dir;
    const std::string catalogue = TALLYHOST_EXAMPLES_DIR "/demo.thf";
    const std::string folder = dir.filePath(QStringLiteral("folder.ths")).toStdString();
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string locked = dir.filePath(QStringLiteral("locked.ths")).toStdString();
    const std::string text =
        "catalogue " + catalogue + "\ncase A\nsend Status \"Status request\"\n";
    std::ofstream(locked) << text;
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    std::vector<std::string> paths{folder};
    if (!QFile(QString::fromStdString(locked)).open(QIODevice::ReadOnly))
        paths.push_back(locked);
    for (const std::string& path : paths) {
        const std::string expected = "cannot record into " + path + ": it cannot be read";
        EXPECT_EQ(RecordTargetRefusal(path, catalogue), expected);
        EXPECT_EQ(AppendRecordedCase(path, catalogue, TRecordedSend{}), expected);
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
    std::ifstream in(locked);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
}

// Recording then reading back, over generated values and answer bytes: every byte survives,
// the script checks clean against its catalogue, and its expectations hold for the answer they
// came from.
TEST(ScriptRecord, EveryRecordedByteReadsBackAndReplaysClean)
{
    QTemporaryDir dir;
    const std::string catalogue = dir.filePath(QStringLiteral("c.thf")).toStdString();
    std::ofstream(catalogue)
        << "[General]\nProtocol=0\nInputDateFormat=6\n[Groups]\nT=\n[T]\nConv=\n[TConv]\n"
           "Commands=0,\"&Code\",\"\",0,\"Z\",0,0,1,1,0,0,0,0,\"Text\",\"\",0,\"\",0,0,0,0,0,0,0,"
           "0,\"Flag\",\"\",7,\"s\",0,1,0,0,0,0,0,0,\"Key\",\"\",5,\"1a\",0,4,0,0,0,0,0,"
           "0,\"Pick\",\"\",0,\"\",1,3,0,0,0,0,0,0,\"Day\",\"\",8,\"\",3,0,0,0,0,0,0\n"
           "Answers=\"Name\",0,0,\"\",0,0,\"Note\",0,0\nCL5=\"\"Long item\",B\"\n";
    TTerminalCache cache;
    ASSERT_TRUE(cache.LoadFromFile(catalogue));
    std::mt19937 random(30);
    const std::string specials = "\"$#= \\x{}\r\n\t'";
    const auto bytes = [&](std::size_t most) {
        std::string out(random() % (most + 1), ' ');
        for (char& c : out)
            c = random() % 2 ? specials[random() % specials.size()] : static_cast<char>(random());
        return out;
    };
    for (int round = 0; round < 300; ++round) {
        std::string text;
        TypeIntoBox(0, 0, bytes(12), text); // what the box would have taken
        std::vector<NamedValue> given{{"Text", text}};
        if (round % 2)
            given.insert(given.end(), {{"Flag", "n"}, {"Key", "ff"}, {"Pick", "B"}});
        const int years[] = {1, 999, 1000, 2026, 9999};
        given.emplace_back("Day", std::to_string(years[round % 5] + 10000).substr(1) + "-02-28");
        ExchangeRequest request;
        ASSERT_EQ(LoadNamedCommand(catalogue, cache, "T", "Conv", request), "");
        ASSERT_EQ(FillNamedInputs(given, cache, request), "") << text;
        std::vector<std::string> frame;
        if (!FrameFields(request, 6, 0, frame).empty())
            continue; // never sent, so never recorded (a malformed x'..' escape)
        ExchangeResult r;
        r.Outcome = ExchangeOutcome::Answered;
        r.PrinterStatus = static_cast<std::uint16_t>(random());
        r.FiscalStatus = static_cast<std::uint16_t>(random());
        r.ReturnCode = static_cast<std::uint16_t>(random());
        std::string every(256, '\0'); // the first round's answer holds every byte value
        std::iota(every.begin(), every.end(), '\0');
        r.AnswerFields = {AnswerEntry{3, "Name", round ? bytes(10) : every, ""},
                          AnswerEntry{4, "", bytes(10), ""},
                          AnswerEntry{5, "Note", bytes(10) + " \r", ""}};
        const TRecordedSend send{"T", "Conv", &request, 0, &r};
        const std::string script =
            "catalogue " + QuoteScriptText(catalogue) + "\n" + RecordedCaseText("Conv", send);
        const TScriptParse p =
            ParseScript(script, dir.filePath(QStringLiteral("p.ths")).toStdString());
        ASSERT_EQ(p.Refusals, std::vector<std::string>{}) << script;
        // Plain text lines that an editor keeps: no control byte but the line ends.
        EXPECT_FALSE(QString::fromStdString(script).contains(
            QRegularExpression("[\\x00-\\x09\\x0B-\\x1F]")));
        ASSERT_EQ(CheckScriptAgainstCatalogue(p.Script), std::vector<std::string>{}) << script;
        const TScriptStep& step = p.Script.Cases.at(0).Steps.at(0);
        ExchangeRequest replayed;
        ASSERT_EQ(LoadNamedCommand(catalogue, cache, "T", "Conv", replayed), "");
        std::vector<NamedValue> values; // as the runner expands them ($$ is a '$')
        for (const auto& [name, value] : step.Values)
            ExpandVariables(value, {}, values.emplace_back(name, "").second);
        ASSERT_EQ(FillNamedInputs(values, cache, replayed), "") << script;
        std::vector<std::string> replayedFrame;
        EXPECT_EQ(FrameFields(replayed, 6, 0, replayedFrame), "");
        EXPECT_EQ(replayedFrame, frame) << script;
        ASSERT_EQ(step.Expectations.size(), 6u) << script;
        for (const TExpectation& e : step.Expectations) {
            bool met = false;
            JudgeExpectation(e, r, {}, &met);
            EXPECT_TRUE(met) << script << "\nline " << e.Line;
        }

        // The fiscal printer's frames take the same way back.
        ExchangeResult f;
        f.Outcome = ExchangeOutcome::Answered;
        f.Fiscal = true;
        f.FiscalFrames = {{bytes(10), false}, {round ? bytes(10) + "\r" : every, true}};
        const std::string fiscal = RecordedCaseText("Conv", {"T", "Conv", &request, 0, &f});
        const TScriptParse fp =
            ParseScript("catalogue " + QuoteScriptText(catalogue) + "\n" + fiscal,
                        dir.filePath(QStringLiteral("f.ths")).toStdString());
        ASSERT_EQ(fp.Refusals, std::vector<std::string>{}) << fiscal;
        const auto& expectations = fp.Script.Cases.at(0).Steps.at(0).Expectations;
        ASSERT_EQ(expectations.size(), 3u) << fiscal;
        for (const TExpectation& e : expectations) {
            bool met = false;
            JudgeExpectation(e, f, {}, &met);
            EXPECT_TRUE(met) << fiscal << "\nline " << e.Line;
        }
    }

    // What cannot be replayed is not recorded as a failure; a cut repeat replays its answers.
    ExchangeRequest request;
    ASSERT_EQ(LoadNamedCommand(catalogue, cache, "T", "Conv", request), "");
    ASSERT_EQ(FillNamedInputs({}, cache, request), "");
    ExchangeResult cancelled;
    cancelled.Outcome = ExchangeOutcome::Cancelled;
    cancelled.Tally.emplace(5);
    EXPECT_EQ(RecordedCaseText("Conv", {"T", "Conv", &request, 0, &cancelled}),
              "# T Conv: cancelled before its answer, not recorded\n");
    for (int i = 0; i < 2; ++i) {
        cancelled.Tally->CommandSent();
        cancelled.Tally->Answered(RepeatTally::Clock::now());
    }
    const std::string cut = RecordedCaseText("Conv", {"T", "Conv", &request, 5, &cancelled});
    EXPECT_NE(cut.find("\n  repeat 2 T Conv "), std::string::npos) << cut;
    EXPECT_NE(cut.find("\n  expect outcome answered\n"), std::string::npos) << cut;
    cancelled.Outcome = ExchangeOutcome::LinkRefused;
    EXPECT_EQ(RecordedCaseText("Conv", {"T", "Conv", &request, 0, &cancelled}),
              "# T Conv: refused before it was sent, not recorded\n");
    // A repeat whose third run was refused after two answers replays as those two.
    cancelled.Outcome = ExchangeOutcome::RefusedValue;
    cancelled.Refusal = "field 'Text': too long";
    const std::string ended = RecordedCaseText("Conv", {"T", "Conv", &request, 5, &cancelled});
    EXPECT_NE(ended.find("  # ended (field 'Text': too long) after 2 of 5 runs"), std::string::npos)
        << ended;
    EXPECT_NE(ended.find("\n  repeat 2 T Conv "), std::string::npos) << ended;
}

// The demo catalogue's commands sent through an engine on the simulator, as the CLI sends them.
class RecordReplayTest : public ::testing::Test
{
protected:
    static QByteArray Scenario(bool changed)
    {
        QFile file(QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo-sim.ini"));
        QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        // Another printer's firmware: the receipt it opens has another number.
        if (changed)
            text.replace("Match=@\r\nFiscalStatus=1600\r\nField1=00001234",
                         "Match=@\r\nFiscalStatus=1600\r\nField1=00001235")
                .replace("Match=@\nFiscalStatus=1600\nField1=00001234",
                         "Match=@\nFiscalStatus=1600\nField1=00001235");
        return text;
    }

    void Open(SimProcess& sim)
    {
        ASSERT_TRUE(sim.Ok());
        m_host = std::make_unique<TFPHostControl>();
        m_aux = std::make_unique<TFPAuxControl>();
        m_host->SetDevicePath(sim.HostPath());
        m_host->SetBaudRate(br9600);
        ASSERT_TRUE(m_host->OpenPort());
        m_aux->SetDevicePath(sim.FiscalPath());
        m_aux->SetTimeOut(1000);
        ASSERT_TRUE(m_aux->OpenPort());
        m_engine.SetLinks(m_host.get(), m_aux.get());
    }

    void Record(const std::string& group, const std::string& command,
                const std::vector<NamedValue>& values, int repeat = 0)
    {
        ExchangeRequest request;
        ASSERT_EQ(LoadNamedCommand(m_catalogue, m_cache, group, command, request), "");
        ASSERT_EQ(FillNamedInputs(values, m_cache, request), "");
        ASSERT_TRUE(repeat ? m_engine.Repeat(request, repeat) : m_engine.Send(request));
        const ExchangeResult r = m_engine.WaitForFinished();
        ASSERT_TRUE(r.Succeeded()) << r.Refusal;
        const TRecordedSend send{group, command, &request, repeat, &r};
        ASSERT_EQ(AppendRecordedCase(m_script, m_catalogue, send), "");
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_cache.LoadFromFile(m_catalogue));
        TStatusTable fiscal;
        TStatusTable printer;
        LoadStatusRecords(m_cache, SectionFiscalAnswer, fiscal);
        LoadStatusRecords(m_cache, SectionPrinterAnswer, printer);
        const FileSettings fs = ReadFileSettings(m_catalogue);
        m_engine.SetCatalogue(&m_cache);
        m_engine.SetStatusTables(fiscal, printer);
        m_engine.SetSettings(
            ExchangeSettings{fs.Protocol, fs.InputDateFormat, fs.OutputDateFormat});
    }

    TScriptResult Replay(const TRunOptions& options = {})
    {
        const TScriptParse p = LoadScript(m_script);
        EXPECT_EQ(p.Refusals, std::vector<std::string>{});
        EXPECT_EQ(CheckScriptAgainstCatalogue(p.Script), std::vector<std::string>{});
        TScriptRunner runner(m_engine);
        return runner.RunScript(p.Script, options);
    }

    QTemporaryDir m_dir;
    const std::string m_catalogue = TALLYHOST_EXAMPLES_DIR "/demo.thf";
    const std::string m_script = m_dir.filePath("bench.ths").toStdString();
    TTerminalCache m_cache;
    TExchangeEngine m_engine;
    std::unique_ptr<TFPHostControl> m_host;
    std::unique_ptr<TFPAuxControl> m_aux;
};

TEST_F(RecordReplayTest, PassesOnTheSamePrinterAndFailsExactlyWhereAnotherAnswersOtherwise)
{
    {
        SimProcess sim(0, Scenario(false));
        Open(sim);
        Record("Status", "Printer information", {});
        Record("Sales", "Open receipt", {{"Receipt type", "A"}, {"Customer", "O'Brien & $on"}});
        Record("Sales", "Sell item", {{"Unit price", "2.50"}, {"Description", "Tea"}}, 3);
        Record("Fiscal port", "Daily summary", {{"Day", "2026-12-07"}});
        Record("Status", "Status request", {});

        const TScriptResult same = Replay();
        ASSERT_TRUE(same.Refusals.empty());
        ASSERT_EQ(same.Cases.size(), 5u);
        for (const TCaseResult& c : same.Cases) {
            EXPECT_EQ(c.Status, TCaseStatus::Passed)
                << c.Name << ": " << (c.Failure ? FailureMessage(*c.Failure) : "");
            EXPECT_FALSE(c.Log.empty()) << c.Name;
        }
        EXPECT_EQ(same.Cases[2].Name, "Sell item");
        // Three runs: command, the printer's ACK, answer, our ACK each, named by direction.
        ASSERT_EQ(same.Cases[2].Log.size(), 12u);
        EXPECT_EQ(same.Cases[2].Log[0].substr(0, 12), "HOST --> 02 ");
        EXPECT_EQ(same.Cases[2].Log[1], "FP   --> ACK");
        EXPECT_EQ(same.Cases[2].Log[3], "HOST --> 06 ");
        EXPECT_EQ(same.Cases[3].Log[0].substr(0, 12), "FISCAL-> 02 ");
        EXPECT_EQ(same.Cases[3].Log[1].substr(0, 9), "FP   --> ");
    }
    SimProcess other(0, Scenario(true));
    Open(other);
    const TScriptResult changed = Replay();
    ASSERT_EQ(changed.Cases.size(), 5u);
    std::vector<std::string> failed;
    for (const TCaseResult& c : changed.Cases) {
        if (c.Status == TCaseStatus::Failed)
            failed.push_back(c.Name + ": " + FailureMessage(*c.Failure));
    }
    EXPECT_EQ(failed, std::vector<std::string>{"Open receipt: field 'Receipt number' expected "
                                               "00001234, got 00001235 (line 22)"});

    // Stopping at the first failure leaves the later cases unrun.
    const TScriptResult stopped = Replay(TRunOptions{true});
    std::vector<TCaseStatus> statuses;
    for (const TCaseResult& c : stopped.Cases)
        statuses.push_back(c.Status);
    EXPECT_EQ(statuses, (std::vector<TCaseStatus>{TCaseStatus::Passed, TCaseStatus::Failed,
                                                  TCaseStatus::Skipped, TCaseStatus::Skipped,
                                                  TCaseStatus::Skipped}));

    // The fiscal port left closed (the window's fiscal button off): its case says so.
    ASSERT_TRUE(m_aux->ClosePort());
    const TScriptResult closed = Replay();
    ASSERT_EQ(closed.Cases.size(), 5u);
    ASSERT_TRUE(closed.Cases[3].Failure.has_value());
    EXPECT_EQ(FailureMessage(*closed.Cases[3].Failure),
              "outcome expected answered, got write-error, the fiscal port is not open (line 33)");
}

// What only a run shows: a value a failed case did not keep, a value typed only once its
// variable is known, a NAK in the frames, and a failure skipping the next script's cases.
TEST_F(RecordReplayTest, RunTimeRulesHoldOnTheSimulator)
{
    SimProcess sim(0, Scenario(false));
    Open(sim);
    const std::string first = m_dir.filePath("first.ths").toStdString();
    const std::string second = m_dir.filePath("second.ths").toStdString();
    std::ofstream(first) << "catalogue " << m_catalogue << "\n"
                         << R"(case Keeps
  send Sales "Open receipt"
  keep v "Receipt number"
case "Fails before keeping"
  send Sales "Open receipt"
  expect printer-status FFFF
  keep v "Receipt number"
case "Uses it"
  send Sales "Sell item" "Unit price"=1 Description=${v}
case "Too long once known"
  send Sales "Open receipt"
  keep w "Receipt number"
  send Sales "Sell item" "Unit price"=1 Description=${w}${w}${w}
case Refused
  send Faults "Refused with NAK"
  expect outcome nak
case "Fails €"
  send Sales "Open receipt"
  expect printer-status FFFF
  keep x "Receipt number"
case "Uses x"
  send Sales "Sell item" "Unit price"=1 Description=${x}
)";
    std::ofstream(second) << "catalogue " << m_catalogue
                          << "\ncase Later\nsend Status \"Status request\"\n";
    TScriptRunner runner(m_engine);
    const std::vector<TScriptResult> results = runner.Run({first, second});
    ASSERT_EQ(results.at(0).Refusals, std::vector<std::string>{});
    std::vector<std::string> outcomes;
    for (const TCaseResult& c : results[0].Cases)
        outcomes.push_back(c.Failure ? FailureMessage(*c.Failure) : "passed");
    EXPECT_EQ(outcomes,
              (std::vector<std::string>{
                  "passed", "printer status expected FFFF, got 0000 (line 7)",
                  "no value kept in 'v' (case 'Fails before keeping' failed before keeping it) "
                  "(line 10)",
                  "field 'Description': the value is longer than its 20 characters (line 14)",
                  "passed", "printer status expected FFFF, got 0000 (line 20)",
                  // A name a failure's Latin-1 text cannot hold is named by its line.
                  "no value kept in 'x' (the case at line 18 failed before keeping it) "
                  "(line 23)"}));
    const auto& cases = results[0].Cases;
    EXPECT_TRUE(cases[2].Log.empty());  // nothing sent with an old value
    EXPECT_EQ(cases[3].Log.size(), 4u); // only the send before the refused one
    EXPECT_NE(std::find(cases[4].Log.begin(), cases[4].Log.end(), "FP   --> NACK"),
              cases[4].Log.end());
    EXPECT_EQ(results.at(1).Cases.at(0).Status, TCaseStatus::Passed);

    // A catalogue gone between the check and the run: nothing runs, and the report says why.
    // Each case is finished as in any other run, so the window and the terminal show it.
    TScriptParse gone = ParseScript("catalogue gone.thf\ncase A\nsend S C\ncase B\nsend S C\n",
                                    m_dir.filePath("gone.ths").toStdString());
    std::vector<std::pair<QString, TCaseResult>> finished;
    std::vector<std::pair<int, int>> progress;
    const auto onFinished = QObject::connect(
        &runner, &TScriptRunner::CaseFinished,
        [&](const QString& script, const TCaseResult& c) { finished.emplace_back(script, c); });
    const auto onProgress =
        QObject::connect(&runner, &TScriptRunner::Progressed,
                         [&](int done, int total) { progress.emplace_back(done, total); });
    const TScriptResult broken = runner.RunScript(gone.Script);
    EXPECT_EQ(broken.Error, "cannot read the catalogue " +
                                m_dir.filePath("gone.thf").toStdString() + " (line 1)");
    ASSERT_EQ(broken.Cases.size(), 2u);
    EXPECT_EQ(broken.Cases[0].Reason, "not run: " + broken.Error);
    ASSERT_EQ(finished.size(), 2u);
    for (std::size_t i = 0; i < finished.size(); ++i) {
        EXPECT_EQ(finished[i].first, m_dir.filePath("gone.ths"));
        EXPECT_EQ(finished[i].second.Name, broken.Cases[i].Name);
        EXPECT_EQ(finished[i].second.Status, TCaseStatus::Skipped);
        EXPECT_EQ(finished[i].second.Reason, "not run: " + broken.Error);
    }
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 0}}));
    QObject::disconnect(onFinished);
    QObject::disconnect(onProgress);

    TScriptRunner stopping(m_engine);
    const auto stopped = stopping.Run({first, second}, TRunOptions{true});
    EXPECT_EQ(stopped.at(1).Cases.at(0).Status, TCaseStatus::Skipped);
    EXPECT_EQ(stopped.at(1).Cases.at(0).Reason, "an earlier case failed");
}

TEST_F(RecordReplayTest, ProgressAdvancesPerRunAndAStopLeavesTheRestStopped)
{
    SimProcess sim(0, Scenario(false));
    Open(sim);
    Record("Status", "Printer information", {});
    Record("Sales", "Sell item", {{"Unit price", "2.50"}, {"Description", "Tea"}}, 4);
    Record("Status", "Status request", {});
    const TScriptParse p = LoadScript(m_script);
    ASSERT_EQ(p.Refusals, std::vector<std::string>{});

    // One unit per send, one per run of the repeat: 1 + 4 + 1.
    TScriptRunner runner(m_engine);
    std::vector<int> done;
    QObject::connect(&runner, &TScriptRunner::Progressed, [&](int d, int total) {
        EXPECT_EQ(total, 6);
        done.push_back(d);
    });
    runner.RunScript(p.Script);
    EXPECT_EQ(done, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));

    // Stopped as the repeat's third run goes out (as a button would, from the event loop):
    // that case and the next are stopped, not skipped, and the progress ends short.
    TScriptRunner stopping(m_engine);
    done.clear();
    QObject::connect(&stopping, &TScriptRunner::Progressed, [&](int d, int) {
        done.push_back(d);
        if (d == 3)
            QTimer::singleShot(0, &stopping, &TScriptRunner::Stop);
    });
    const TScriptResult stopped = stopping.RunScript(p.Script);
    std::vector<TCaseStatus> statuses;
    for (const TCaseResult& c : stopped.Cases)
        statuses.push_back(c.Status);
    EXPECT_EQ(statuses, (std::vector<TCaseStatus>{TCaseStatus::Passed, TCaseStatus::Stopped,
                                                  TCaseStatus::Stopped}));
    EXPECT_EQ(done.back(), 3);
    const TRunTotals t = Totals({stopped});
    EXPECT_EQ(std::make_tuple(t.Passed, t.Skipped, t.Stopped), std::make_tuple(1, 0, 2));
    const std::string junit = JUnitReport({stopped});
    EXPECT_NE(junit.find("skipped=\"2\""), std::string::npos) << junit;
    EXPECT_NE(junit.find("<skipped message=\"the run was stopped\"/>"), std::string::npos);
    const QString json = QString::fromStdString(JsonReport({stopped}));
    EXPECT_EQ(json.count(QStringLiteral("\"status\": \"stopped\"")), 2) << json.toStdString();
}

} // namespace
