#include "session/scriptreport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace tallyhost;

namespace {

// The report read back the way a CI server reads it: elements, attributes and text.
struct Node
{
    std::string Name;
    std::map<std::string, std::string> Attributes;
    std::string Text;
    std::vector<std::unique_ptr<Node>> Children;

    std::vector<const Node*> All(const std::string& name) const
    {
        std::vector<const Node*> out;
        for (const auto& c : Children) {
            if (c->Name == name)
                out.push_back(c.get());
        }
        return out;
    }
    std::string operator[](const std::string& attribute) const
    {
        const auto it = Attributes.find(attribute);
        return it == Attributes.end() ? "(missing)" : it->second;
    }
};

std::unique_ptr<Node> ReadXml(const std::string& text)
{
    QXmlStreamReader r(QString::fromStdString(text));
    auto root = std::make_unique<Node>();
    std::vector<Node*> path{root.get()};
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            auto n = std::make_unique<Node>();
            n->Name = r.name().toString().toStdString();
            for (const auto& a : r.attributes())
                n->Attributes[a.name().toString().toStdString()] =
                    a.value().toString().toStdString();
            Node* raw = n.get();
            path.back()->Children.push_back(std::move(n));
            path.push_back(raw);
        } else if (r.isEndElement()) {
            path.pop_back();
        } else if (r.isCharacters() && !r.isWhitespace()) {
            path.back()->Text += r.text().toString().toStdString();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return root;
}

std::vector<TScriptResult> SampleRun()
{
    TScriptResult demo;
    // Given as an absolute path inside the working folder: reported relative to it.
    demo.Script = QFile::encodeName(QDir::current().filePath("examples/demo.ths")).toStdString();
    demo.Seconds = 1.25;
    demo.Error = "interrupted by SIGINT";
    TCaseResult ok{"Status request",    4,
                   TCaseStatus::Passed, 0.0421,
                   std::nullopt,        {"HOST --> 02 20 2A 03", "FP   --> 06"}};
    TCaseResult bad{"Paper <out> & \"in\" Pr\u00FCfung \u20AC",
                    9,
                    TCaseStatus::Failed,
                    1.5,
                    TCaseFailure{12, "printer status", "0000", "0008"},
                    {"HOST --> 02 21 74 03"}};
    TCaseResult raw{"Raw bytes",
                    15,
                    TCaseStatus::Failed,
                    0.01,
                    TCaseFailure{16, "field 'Echo'", "A", std::string("B\x01\x1F\xE9", 4)},
                    {}};
    TCaseResult error{
        "Refused", 18, TCaseStatus::Failed, 0, TCaseFailure{19, "", "", "too long", true}, {}};
    TCaseResult skipped{"Later\x1B", 20, TCaseStatus::Skipped, 0, std::nullopt, {}, "interrupted"};
    ok.Steps = {{5, 42}, {7, std::nullopt}};
    demo.Cases = {ok, bad, raw, error, skipped};
    TScriptResult refused;
    refused.Script = "/nowhere/else/bad.ths"; // outside it: by its name
    refused.Refusals = {"bad.ths:3: unknown step 'x'", "bad.ths:5: a quote is never closed"};
    return {demo, refused};
}

TEST(ScriptReport, JUnitFileHasTheStructureCiServersRead)
{
    const auto doc = ReadXml(JUnitReport(SampleRun()));
    ASSERT_EQ(doc->Children.size(), 1u);
    const Node& suites = *doc->Children.front();
    EXPECT_EQ(suites.Name, "testsuites");
    EXPECT_EQ(suites["tests"], "7"); // five cases, the run's error, the refused script
    EXPECT_EQ(suites["failures"], "2");
    EXPECT_EQ(suites["errors"], "3");
    EXPECT_EQ(suites["skipped"], "1");
    const auto scripts = suites.All("testsuite");
    ASSERT_EQ(scripts.size(), 2u);

    const Node& demo = *scripts[0];
    EXPECT_EQ(demo["name"], "examples/demo.ths");
    EXPECT_EQ(demo["tests"], "6");
    EXPECT_EQ(demo["failures"], "2");
    EXPECT_EQ(demo["errors"], "2");
    EXPECT_EQ(demo["time"], "1.250");
    const auto cases = demo.All("testcase");
    ASSERT_EQ(cases.size(), 6u);
    const struct
    {
        const char* Name;
        const char* Time;
        const char* Failure; // empty: none
        const char* Out;
    } rows[] = {
        {"Status request", "0.042", "", "HOST --> 02 20 2A 03\nFP   --> 06\n"},
        {"Paper <out> & \"in\" Pr\u00FCfung \u20AC", "1.500",
         "printer status expected 0000, got 0008 (line 12)", "HOST --> 02 21 74 03\n"},
        {"Raw bytes", "0.010", "field 'Echo' expected A, got B\\x01\\x1F\u00E9 (line 16)", ""},
        {"Refused", "0.000", "too long (line 19)", ""},
        {"Later\\x1B", "0.000", "", ""},
        {"(run)", "0.000", "interrupted by SIGINT", ""},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Node& c = *cases[i];
        const auto& row = rows[i];
        EXPECT_EQ(c["classname"], "examples/demo.ths") << row.Name;
        EXPECT_EQ(c["name"], row.Name);
        EXPECT_EQ(c["time"], row.Time) << row.Name;
        auto failures = c.All("failure");
        for (const Node* e : c.All("error"))
            failures.push_back(e);
        ASSERT_EQ(failures.size(), *row.Failure ? 1u : 0u) << row.Name;
        if (*row.Failure) {
            EXPECT_EQ((*failures[0])["message"], row.Failure);
            EXPECT_EQ(failures[0]->Text, row.Failure); // GitLab shows the text
        }
        const auto out = c.All("system-out");
        EXPECT_EQ(out.empty() ? std::string() : out[0]->Text, row.Out) << row.Name;
    }
    EXPECT_EQ(cases[3]->All("error").size(), 1u); // refused at run time: an error
    ASSERT_EQ(cases[4]->All("skipped").size(), 1u);
    EXPECT_EQ((*cases[4]->All("skipped")[0])["message"], "interrupted");

    const Node& refused = *scripts[1];
    const auto refusedCases = refused.All("testcase");
    ASSERT_EQ(refusedCases.size(), 1u);
    EXPECT_EQ((*refusedCases[0])["classname"], "bad.ths");
    EXPECT_EQ(refused["name"], "bad.ths");
    const auto errors = refusedCases[0]->All("error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ((*errors[0])["message"], "bad.ths:3: unknown step 'x'");
    EXPECT_EQ(errors[0]->Text, "bad.ths:3: unknown step 'x'\nbad.ths:5: a quote is never closed\n");

    // Outside the working folder a script is its file name, unless another script of the run
    // has it too: then each keeps its path, so that CI servers keep their cases apart.
    const std::string outside = "/nonexistent-tallyhost/";
    EXPECT_EQ(ReportScriptName(outside + "a/smoke.ths"), "smoke.ths");
    const std::vector<std::string> two{outside + "a/smoke.ths", outside + "b/smoke.ths"};
    EXPECT_NE(ReportScriptName(two[0], two), ReportScriptName(two[1], two));
    EXPECT_EQ(ReportScriptName(two[0], two).find("a/smoke.ths") + 11,
              ReportScriptName(two[0], two).size());
    EXPECT_EQ(ReportScriptName(two[0], {two[0], two[0]}), "smoke.ths"); // one file, two benches
    TScriptResult first;
    first.Script = two[0];
    TScriptResult second;
    second.Script = two[1];
    const std::string both = JUnitReport({first, second});
    for (const std::string& path : two)
        EXPECT_NE(both.find("name=\"" + ReportScriptName(path, two) + "\""), std::string::npos)
            << both;
}

TEST(ScriptReport, JsonCarriesTotalsAndEachFailure)
{
    const QJsonObject o =
        QJsonDocument::fromJson(QByteArray::fromStdString(JsonReport(SampleRun()))).object();
    EXPECT_FALSE(o["passed"].toBool(true));
    const QJsonObject totals = o["totals"].toObject();
    EXPECT_EQ(totals["passed"].toInt(), 1);
    EXPECT_EQ(totals["failed"].toInt(), 3);
    EXPECT_EQ(totals["errors"].toInt(), 2);
    EXPECT_EQ(totals["skipped"].toInt(), 1);
    EXPECT_EQ(totals["refused"].toInt(), 1);
    const QJsonArray scripts = o["scripts"].toArray();
    ASSERT_EQ(scripts.size(), 2);
    const QJsonObject failed = scripts[0].toObject()["cases"].toArray()[1].toObject();
    EXPECT_EQ(failed["status"].toString(), "failed");
    EXPECT_EQ(failed["line"].toInt(), 9);
    const QJsonObject f = failed["failure"].toObject();
    EXPECT_EQ(f["expectation"].toString(), "printer status");
    EXPECT_EQ(f["expected"].toString(), "0000");
    EXPECT_EQ(f["actual"].toString(), "0008");
    EXPECT_EQ(f["line"].toInt(), 12);
    const QJsonObject passed = scripts[0].toObject()["cases"].toArray()[0].toObject();
    EXPECT_TRUE(passed["failure"].isNull());
    const QJsonArray steps = passed["steps"].toArray();
    ASSERT_EQ(steps.size(), 2);
    EXPECT_EQ(steps[0]["line"].toInt(), 5);
    EXPECT_EQ(steps[0]["responseMs"].toInt(), 42);
    EXPECT_TRUE(steps[1]["responseMs"].isNull());
    EXPECT_EQ(scripts[1].toObject()["refusals"].toArray().size(), 2);
    EXPECT_EQ(scripts[0].toObject()["script"].toString(), "examples/demo.ths");
    EXPECT_EQ(scripts[0].toObject()["error"].toString(), "interrupted by SIGINT");

    TScriptResult clean;
    clean.Script = "ok.ths";
    clean.Cases = {TCaseResult{"A", 2, TCaseStatus::Passed, 0.1, std::nullopt, {}}};
    EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(JsonReport({clean})))
                    .object()["passed"]
                    .toBool(false));
}

} // namespace
