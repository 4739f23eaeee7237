// Benches as the command line and a benches file give them, the comparison of their answers,
// and the report page read back as XML.

#include "session/benchrun.h"
#include "session/htmlreport.h"
#include "session/scriptcompare.h"

#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tallyhost;

namespace {

TEST(BenchOption, NameDevicesAndSpeed)
{
    const struct
    {
        const char* Option;
        const char* Error; // a part of it; empty: taken
        const char* Host;
        const char* Fiscal;
        TBaudRate Baud;
    } rows[] = {
        {"A=/dev/ttyUSB0", "", "/dev/ttyUSB0", "", br9600},
        {"fw-1.4=/dev/ttyUSB0,/dev/ttyUSB1@19200", "", "/dev/ttyUSB0", "/dev/ttyUSB1", br19200},
        {"B=,/dev/ttyUSB1", "", "", "/dev/ttyUSB1", br9600},
        // An '@' inside a path is the path's; only a trailing speed is taken.
        {"C=/dev/serial/by-path/pci@0-usb", "", "/dev/serial/by-path/pci@0-usb", "", br9600},
        {"H=/dev/serial/by-path/pci@0-usb@19200", "", "/dev/serial/by-path/pci@0-usb", "", br19200},
        {"D=/dev/x@", "baud ''", "", "", br9600},
        {"E=/dev/x@115200", "baud '115200'", "", "", br9600},
        {"/dev/ttyUSB0", "wants NAME=", "", "", br9600},
        {"=/dev/x", "a name is", "", "", br9600},
        {"A B=/dev/x", "a name is", "", "", br9600},
        {"F=/dev/x,", "no fiscal device", "", "", br9600},
        {"G=", "names no device", "", "", br9600},
    };
    for (const auto& row : rows) {
        TBench bench;
        const std::string error = ParseBenchOption(row.Option, bench);
        if (*row.Error) {
            EXPECT_NE(error.find(row.Error), std::string::npos) << row.Option << ": " << error;
            continue;
        }
        EXPECT_EQ(error, "") << row.Option;
        EXPECT_EQ(bench.Host, row.Host) << row.Option;
        EXPECT_EQ(bench.Fiscal, row.Fiscal) << row.Option;
        EXPECT_EQ(bench.Baud, row.Baud) << row.Option;
    }
}

TEST(BenchOption, BenchesFileInFileOrderAndItsMistakesNamed)
{
    QTemporaryDir dir;
    const auto write = [&](const char* text) {
        const QString path = dir.filePath(QStringLiteral("benches.ini"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        return path.toStdString();
    };
    std::vector<TBench> benches;
    std::string path =
        write("; the shelf\r\n[zeta]\r\nhost = /dev/ttyUSB0\r\nFISCAL=/dev/ttyUSB1\r\n"
              "[alpha]\r\nHost=COM2\r\nBaud=38400\r\n");
    EXPECT_EQ(LoadBenchesFile(path, benches), "");
    ASSERT_EQ(benches.size(), 2u);
    EXPECT_EQ(benches[0].Name, "zeta");
    EXPECT_EQ(benches[0].Fiscal, "/dev/ttyUSB1");
    EXPECT_EQ(benches[1].Host, "COM2");
    EXPECT_EQ(benches[1].Baud, br38400);

    const struct
    {
        const char* Text;
        const char* Error;
    } bad[] = {
        {"[A]\nHost=/dev/x\nFiscl=/dev/y\n", "[A]: unknown key 'Fiscl'"},
        {"[A]\nBaud=9600\n", "[A]: no device"},
        {"[A]\nHost=/dev/x\nBaud=fast\n", "[A]: baud 'fast'"},
        {"[A/B]\nHost=/dev/x\n", "[A/B]: a bench name"},
        {"; nothing\n", "no bench"},
    };
    for (const auto& row : bad) {
        benches.clear();
        path = write(row.Text);
        const std::string error = LoadBenchesFile(path, benches);
        EXPECT_EQ(error.rfind(path, 0), 0u) << error;
        EXPECT_NE(error.find(row.Error), std::string::npos) << error;
    }
}

TStepRecord Step(const char* caseName, int line, std::vector<TStepValue> values, int ms = 20)
{
    return TStepRecord{"s.ths", caseName, line, std::move(values), ms};
}

TEST(BenchCompare, EveryDifferingValueOfAStepRunOnMoreThanOneBench)
{
    const std::vector<TBenchSteps> benches{
        {"A",
         {Step("Ready", 3,
               {{"outcome", "answered"}, {"printer status", "0040"}, {"field Model", "X"}}),
          Step("Ready", 9, {{"outcome", "answered"}, {"return code", "0"}}),
          Step("Only A", 12, {{"outcome", "answered"}, {"return code", "1"}})}},
        {"B",
         {Step("Ready", 3, {{"outcome", "answered"}, {"printer status", "0040"}}, 90),
          Step("Ready", 9, {{"outcome", "no-answer"}})}},
        {"C",
         {Step("Ready", 3,
               {{"outcome", "answered"}, {"printer status", "0048"}, {"field Model", "X"}})}},
    };
    const std::vector<TDifference> d = CompareBenches(benches);
    std::vector<std::string> lines;
    for (const TDifference& x : d)
        lines.push_back(DifferenceLine(x, {"A", "B", "C"}, false));
    // Response times differ (20 and 90 ms) and are not compared; a step only A ran is not
    // compared; a field missing on one bench is a difference.
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "case 'Ready', line 3, printer status: A=0040  B=0040  C=0048",
                         "case 'Ready', line 3, field Model: A=X  B=(none)  C=X",
                         "case 'Ready', line 9, outcome: A=answered  B=no-answer  C=(not run)",
                         "case 'Ready', line 9, return code: A=0  B=(none)  C=(not run)",
                     }));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[0].ResponseMs, (std::vector<std::optional<int>>{20, 90, 20}));

    // A value an answer lacks differs from an empty one; a label that repeats (the extended
    // answer's reserved fields) is compared at each place; the extended return code once.
    const auto field = [](const char* name, std::uint16_t rc, const char* second, bool with) {
        ExchangeResult r;
        r.Outcome = ExchangeOutcome::Answered;
        r.ReturnCode = rc;
        r.AnswerFields = {AnswerEntry{0, "Reserved", "1", ""},
                          AnswerEntry{1, "Return code", std::to_string(rc), ""},
                          AnswerEntry{2, "Reserved", second, ""}};
        if (with)
            r.AnswerFields.push_back(AnswerEntry{5, name, "", ""});
        return TStepRecord{"s.ths", "Ready", 3, StepValues(r), 20};
    };
    std::vector<std::string> fields;
    for (const TDifference& x : CompareBenches(
             {{"A", {field("Serial", 7, "1", true)}}, {"B", {field("Serial", 8, "2", false)}}}))
        fields.push_back(DifferenceLine(x, {"A", "B"}, false));
    EXPECT_EQ(fields, (std::vector<std::string>{
                          "case 'Ready', line 3, return code: A=7  B=8",
                          "case 'Ready', line 3, field Reserved #2: A=1  B=2",
                          "case 'Ready', line 3, field Serial: A=(empty)  B=(none)",
                      }));

    // The same script given twice: each run of a step is compared with the same run elsewhere.
    const std::vector<TBenchSteps> twice{
        {"A",
         {Step("Ready", 3, {{"outcome", "answered"}}), Step("Ready", 3, {{"outcome", "nak"}})}},
        {"B",
         {Step("Ready", 3, {{"outcome", "answered"}}), Step("Ready", 3, {{"outcome", "nak"}})}},
    };
    EXPECT_TRUE(CompareBenches(twice).empty());
}

TEST(BenchReport, PageIsWellFormedWithPrinterBytesAndNamesTheFailure)
{
    TBenchResult a;
    a.Bench = TBench{"A", "/dev/x", "", br9600};
    TScriptResult s;
    s.Script = "s.ths";
    s.Bench = "A";
    TCaseResult failed{"Ready <&>",
                       2,
                       TCaseStatus::Failed,
                       0.5,
                       TCaseFailure{4, "field 'Model'", "X", "A\x01\x02]]>"},
                       {}};
    s.Cases.push_back(failed);
    a.Scripts.push_back(s);
    a.Steps.push_back(Step("Ready <&>", 3, {{"field Model", "A\x01\x02]]>"}}));
    a.Steps.back().ResponseMs.reset();
    TBenchResult b = a;
    b.Bench.Name = "B";
    b.Error = "cannot open the host port \x1b";
    b.Scripts.clear();
    b.Steps.clear();
    const std::string html = HtmlReport({a, b}, CompareBenches({{"A", a.Steps}, {"B", {}}}),
                                        THtmlReportOptions{"T", "", true});

    QXmlStreamReader reader(QByteArray::fromStdString(html));
    QStringList failedCells;
    QStringList errors;
    int marks = 0; // a step without an answer is a mark on the axis
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString cls = reader.attributes().value(QStringLiteral("class")).toString();
        if (reader.name() == QLatin1String("circle"))
            ++marks;
        else if (cls == QLatin1String("failed"))
            failedCells << reader.readElementText(QXmlStreamReader::IncludeChildElements);
        else if (cls == QLatin1String("error"))
            errors << reader.readElementText();
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    ASSERT_EQ(failedCells.size(), 1);
    EXPECT_TRUE(failedCells[0].contains(QStringLiteral("got A\\x01\\x02]]>")));
    EXPECT_TRUE(failedCells[0].contains(QStringLiteral("field 'Model' (line 4)")));
    EXPECT_EQ(marks, 1);
    EXPECT_EQ(errors.size(), 2); // the summary's and the matrix's cell of bench B
    EXPECT_TRUE(errors.contains(QStringLiteral("could not run: cannot open the host port \\x1B")));

    // No difference is a verdict only when some step ran on two benches.
    const std::string nothing = "Nothing compared: no step ran on more than one bench.";
    EXPECT_NE(html.find(nothing), std::string::npos);
    b.Error.clear();
    b.Steps = a.Steps;
    const std::string alike = HtmlReport({a, b}, {}, THtmlReportOptions{"T", "", true});
    EXPECT_EQ(alike.find(nothing), std::string::npos);
    EXPECT_NE(alike.find("got the same answer values on each"), std::string::npos);

    // A bench cut off by a stop did not pass: its verdict and the totals say stopped.
    a.Scripts[0].Cases[0].Status = TCaseStatus::Stopped;
    a.Scripts[0].Cases[0].Failure.reset();
    const std::string stopped = HtmlReport({a}, {}, THtmlReportOptions{"T", "", false});
    EXPECT_NE(stopped.find("<td class=\"stopped verdict\">stopped</td>"), std::string::npos);
    EXPECT_NE(stopped.find("0 passed, 0 failed, 0 skipped, 1 stopped"), std::string::npos);

    // A script that broke off failed, and says why; names are UTF-8 text, a '%' in one is text.
    a.Scripts[0].Cases[0] = TCaseResult{"Prüfung %3", 2, TCaseStatus::Skipped, 0, {}, {}};
    a.Scripts[0].Error = "cannot read the catalogue Prüfung.thf (line 1)";
    a.Steps = {Step("Prüfung %3", 9, {})};
    const std::string broken = HtmlReport({a}, {}, THtmlReportOptions{"T", "", false});
    EXPECT_NE(broken.find("<td class=\"failed verdict\">failed</td>"), std::string::npos);
    EXPECT_NE(broken.find(">A: cannot read the catalogue Prüfung.thf (line 1)</p>"),
              std::string::npos)
        << broken;
    EXPECT_NE(broken.find("<th>Prüfung %3</th>"), std::string::npos);
    EXPECT_NE(broken.find("step 1, case 'Prüfung %3', line 9: 20 ms"), std::string::npos);
}

} // namespace
