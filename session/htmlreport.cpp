#include "session/htmlreport.h"

#include "session/reporttext.h"

#include <QString>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace tallyhost {

namespace {

const QString Svg = QStringLiteral("http://www.w3.org/2000/svg");

// Kept short and plain: the page must read well printed and without its style too.
constexpr const char* Style = R"(
body { font: 14px/1.4 "DejaVu Sans", Arial, sans-serif; color: #1d232a; margin: 24px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 17px; margin: 28px 0 8px; border-bottom: 1px solid #c9d1d9; }
h3 { font-size: 15px; margin: 16px 0 6px; }
p.sub { color: #57606a; margin: 0 0 12px; }
table { border-collapse: collapse; margin: 4px 0 8px; }
th, td { border: 1px solid #c9d1d9; padding: 4px 8px; text-align: left; vertical-align: top; }
th { background: #f0f3f6; font-weight: 600; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
.passed { background: #dff3e4; color: #145c2a; }
.failed { background: #fbe1de; color: #8c1d13; }
.skipped, .stopped { background: #eeeeee; color: #57606a; }
.error { background: #fff1c9; color: #6b4b00; }
.differs { background: #fff1c9; font-weight: 600; }
.why { font-size: 12px; color: #1d232a; margin-top: 2px; }
.why b { font-weight: 600; }
code, .value { font-family: "DejaVu Sans Mono", monospace; font-size: 13px; white-space: pre-wrap;
                overflow-wrap: break-word; }
td.ports div { white-space: nowrap; }
td.error { overflow-wrap: anywhere; }
table.benches td.error { max-width: 26em; }
th.bench { white-space: nowrap; }
.muted { color: #57606a; font-size: 12px; }
.chart { margin: 4px 0 12px; }
)";

QString Seconds(double s)
{
    return QString::number(std::max(0.0, s), 'f', 3) + QStringLiteral(" s");
}

class Page
{
public:
    explicit Page(QString* out) : w(out) {}

    void Text(const QString& element, const QString& text, const QString& cls = {})
    {
        w.writeStartElement(element);
        if (!cls.isEmpty())
            w.writeAttribute(QStringLiteral("class"), cls);
        w.writeCharacters(text);
        w.writeEndElement();
    }
    void Start(const QString& element, const QString& cls = {})
    {
        w.writeStartElement(element);
        if (!cls.isEmpty())
            w.writeAttribute(QStringLiteral("class"), cls);
    }
    void End() { w.writeEndElement(); }

    QXmlStreamWriter w;
};

// The case results of one bench by script and case name.
using CaseIndex = std::map<std::pair<std::string, std::string>, const TCaseResult*>;

CaseIndex IndexCases(const TBenchResult& b)
{
    CaseIndex index;
    for (const TScriptResult& s : b.Scripts) {
        for (const TCaseResult& c : s.Cases)
            index.emplace(std::make_pair(s.Script, c.Name), &c);
    }
    return index;
}

// A chart's scale: a round top at or above `value` (1, 2 or 5 times a power of ten) and the
// number of lines that split it into round steps.
std::pair<double, int> NiceScale(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(std::max(value, 1.0))));
    for (const double lead : {1.0, 2.0, 5.0}) {
        if (lead * power >= value)
            return {lead * power, lead == 2.0 ? 4 : 5};
    }
    return {10 * power, 5};
}

void Summary(Page& p, const std::vector<TBenchResult>& results)
{
    p.Text(QStringLiteral("h2"), QStringLiteral("Benches"));
    p.Start(QStringLiteral("table"), QStringLiteral("benches"));
    p.Start(QStringLiteral("tr"));
    for (const char* head :
         {"Bench", "Ports", "Passed", "Failed", "Skipped", "Commands sent", "Time", "Result"})
        p.Text(QStringLiteral("th"), QString::fromLatin1(head));
    p.End();
    for (const TBenchResult& b : results) {
        const TRunTotals t = Totals(b.Scripts);
        // A bench whose run was cut off passed nothing it did not run: its verdict says so.
        const bool passed =
            b.Error.empty() && t.Failed == 0 && t.Refused == 0 && t.Broken == 0 && t.Stopped == 0;
        p.Start(QStringLiteral("tr"));
        p.Text(QStringLiteral("th"), NameText(b.Bench.Name), QStringLiteral("bench"));
        p.Start(QStringLiteral("td"), QStringLiteral("ports"));
        p.Text(QStringLiteral("div"),
               QStringLiteral("host ") + NameText(b.Bench.Host.empty() ? "-" : b.Bench.Host),
               QStringLiteral("value"));
        p.Text(QStringLiteral("div"),
               QStringLiteral("fiscal ") + NameText(b.Bench.Fiscal.empty() ? "-" : b.Bench.Fiscal),
               QStringLiteral("value"));
        p.End();
        p.Text(QStringLiteral("td"), QString::number(t.Passed), QStringLiteral("num"));
        p.Text(QStringLiteral("td"), QString::number(t.Failed), QStringLiteral("num"));
        p.Text(QStringLiteral("td"), QString::number(t.Skipped), QStringLiteral("num"));
        p.Text(QStringLiteral("td"), QString::number(b.StepsSent), QStringLiteral("num"));
        p.Text(QStringLiteral("td"), Seconds(b.Seconds), QStringLiteral("num"));
        if (!b.Error.empty())
            p.Text(QStringLiteral("td"), QStringLiteral("could not run: ") + NameText(b.Error),
                   QStringLiteral("error"));
        else if (passed || t.Failed || t.Refused || t.Broken)
            p.Text(QStringLiteral("td"),
                   passed ? QStringLiteral("passed") : QStringLiteral("failed"),
                   passed ? QStringLiteral("passed verdict") : QStringLiteral("failed verdict"));
        else
            p.Text(QStringLiteral("td"), QStringLiteral("stopped"),
                   QStringLiteral("stopped verdict"));
        p.End();
    }
    p.End();
}

void Matrix(Page& p, const std::vector<TBenchResult>& results)
{
    p.Text(QStringLiteral("h2"), QStringLiteral("Cases"));
    std::vector<CaseIndex> indexes;
    for (const TBenchResult& b : results)
        indexes.push_back(IndexCases(b));
    // Scripts and their cases in the order of the first bench that ran them.
    std::vector<std::string> scripts;
    std::map<std::string, std::vector<std::string>> cases;
    std::map<std::string, std::vector<std::string>> refusals; // a refused script's, once
    for (const TBenchResult& b : results) {
        for (const TScriptResult& s : b.Scripts) {
            if (std::find(scripts.begin(), scripts.end(), s.Script) == scripts.end())
                scripts.push_back(s.Script);
            if (!s.Refusals.empty())
                refusals.emplace(s.Script, s.Refusals);
            auto& names = cases[s.Script];
            for (const TCaseResult& c : s.Cases) {
                if (std::find(names.begin(), names.end(), c.Name) == names.end())
                    names.push_back(c.Name);
            }
        }
    }
    for (const std::string& script : scripts) {
        p.Text(QStringLiteral("h3"), NameText(ReportScriptName(script, scripts)));
        if (const auto refused = refusals.find(script); refused != refusals.end()) {
            // Refused before anything was sent: the reasons are all there is to show.
            for (const std::string& why : refused->second)
                p.Text(QStringLiteral("p"), NameText(why), QStringLiteral("error"));
            continue;
        }
        // A script that broke off on a bench (its catalogue gone, a signal): why, above its
        // skipped cases. A bench that could not run says so in the summary.
        for (const TBenchResult& b : results) {
            if (!b.Error.empty())
                continue;
            for (const TScriptResult& r : b.Scripts)
                if (r.Script == script && !r.Error.empty())
                    p.Text(QStringLiteral("p"), NameText(b.Bench.Name + ": " + r.Error),
                           QStringLiteral("error"));
        }
        p.Start(QStringLiteral("table"));
        p.Start(QStringLiteral("tr"));
        p.Text(QStringLiteral("th"), QStringLiteral("Case"));
        for (const TBenchResult& b : results)
            p.Text(QStringLiteral("th"), NameText(b.Bench.Name), QStringLiteral("bench"));
        p.End();
        for (const std::string& name : cases[script]) {
            p.Start(QStringLiteral("tr"));
            p.Text(QStringLiteral("th"), NameText(name));
            for (std::size_t i = 0; i < results.size(); ++i) {
                const auto it = indexes[i].find({script, name});
                if (it == indexes[i].end()) {
                    p.Text(QStringLiteral("td"),
                           results[i].Error.empty() ? QStringLiteral("not run")
                                                    : QStringLiteral("bench unavailable"),
                           results[i].Error.empty() ? QStringLiteral("skipped")
                                                    : QStringLiteral("error"));
                    continue;
                }
                const TCaseResult& c = *it->second;
                const QString status = QLatin1String(CaseStatusName(c.Status));
                p.Start(QStringLiteral("td"), status);
                p.w.writeCharacters(status + QStringLiteral(" \u00b7 ") + Seconds(c.Seconds));
                if (c.Status == TCaseStatus::Failed && c.Failure) {
                    p.Start(QStringLiteral("div"), QStringLiteral("why"));
                    p.Text(QStringLiteral("b"), ReportText(c.Failure->Expectation));
                    p.w.writeCharacters(QStringLiteral(" (line ") +
                                        QString::number(c.Failure->Line) + QStringLiteral(")"));
                    p.Text(QStringLiteral("div"),
                           QStringLiteral("expected ") + ReportText(c.Failure->Expected),
                           QStringLiteral("value"));
                    p.Text(QStringLiteral("div"),
                           QStringLiteral("got ") + ReportText(c.Failure->Actual),
                           QStringLiteral("value"));
                    p.End();
                }
                p.End();
            }
            p.End();
        }
        p.End();
    }
}

void Differences(Page& p, const std::vector<TBenchResult>& results,
                 const std::vector<TDifference>& differences, bool compared)
{
    const std::vector<std::string> run = ScriptPaths(AllScripts(results));
    p.Text(QStringLiteral("h2"), QStringLiteral("Answers that differ between benches"));
    if (!compared) {
        p.Text(
            QStringLiteral("p"),
            QStringLiteral("Not compared (run with --compare to list every value that differs)."),
            QStringLiteral("muted"));
        return;
    }
    if (differences.empty()) {
        p.Text(QStringLiteral("p"),
               !AnswersToCompare(results)
                   ? QStringLiteral("Nothing compared: no step ran on more than one bench.")
                   : QStringLiteral("Every step that ran on more than one bench got the same "
                                    "answer values on each."),
               QStringLiteral("muted"));
        return;
    }
    const bool withScript = [&] {
        for (const TDifference& d : differences) {
            if (d.Script != differences.front().Script)
                return true;
        }
        return false;
    }();
    p.Start(QStringLiteral("table"));
    p.Start(QStringLiteral("tr"));
    if (withScript)
        p.Text(QStringLiteral("th"), QStringLiteral("Script"));
    for (const char* head : {"Case", "Line", "Value"})
        p.Text(QStringLiteral("th"), QString::fromLatin1(head));
    for (const TBenchResult& b : results)
        p.Text(QStringLiteral("th"), NameText(b.Bench.Name), QStringLiteral("bench"));
    p.Text(QStringLiteral("th"), QStringLiteral("Response times"));
    p.End();
    for (const TDifference& d : differences) {
        p.Start(QStringLiteral("tr"));
        if (withScript)
            p.Text(QStringLiteral("td"), NameText(ReportScriptName(d.Script, run)));
        p.Text(QStringLiteral("td"), NameText(d.Case));
        p.Text(QStringLiteral("td"), QString::number(d.Line), QStringLiteral("num"));
        p.Text(QStringLiteral("td"), ReportText(d.Name));
        // The first bench that ran the step is the reference: a cell unlike it is marked.
        std::optional<std::string> reference;
        for (const auto& v : d.Values) {
            if (v && !reference)
                reference = *v;
        }
        QString times;
        for (std::size_t i = 0; i < results.size(); ++i) {
            const auto& v = i < d.Values.size() ? d.Values[i] : std::nullopt;
            if (!v)
                p.Text(QStringLiteral("td"), QStringLiteral("(not run)"),
                       QStringLiteral("skipped"));
            else
                p.Text(QStringLiteral("td"),
                       i < d.Missing.size() && d.Missing[i] ? QStringLiteral("(none)")
                       : v->empty()                         ? QStringLiteral("(empty)")
                                                            : ReportText(*v),
                       *v == *reference ? QStringLiteral("value")
                                        : QStringLiteral("value differs"));
            if (i < d.ResponseMs.size() && d.ResponseMs[i])
                times += (times.isEmpty() ? QString() : QStringLiteral(", ")) +
                         NameText(results[i].Bench.Name) + ' ' + QString::number(*d.ResponseMs[i]) +
                         QStringLiteral(" ms");
        }
        p.Text(QStringLiteral("td"), times, QStringLiteral("muted"));
        p.End();
    }
    p.End();
}

void Charts(Page& p, const std::vector<TBenchResult>& results)
{
    p.Text(QStringLiteral("h2"), QStringLiteral("Response time of every step"));
    p.Text(QStringLiteral("p"),
           QStringLiteral("Milliseconds from the command leaving the port to its answer, one bar "
                          "per send or repeat in the order they ran; red bars belong to failed "
                          "cases, a red mark on the axis is a step without an answer. All "
                          "benches share one scale."),
           QStringLiteral("muted"));
    double top = 10;
    for (const TBenchResult& b : results) {
        for (const TStepRecord& s : b.Steps)
            top = std::max(top, static_cast<double>(s.ResponseMs.value_or(0)));
    }
    const auto [scaleTop, lines] = NiceScale(top);
    top = scaleTop;
    constexpr double width = 760, height = 190, left = 52, right = 12, topMargin = 12, bottom = 30;
    const double plotW = width - left - right;
    const double plotH = height - topMargin - bottom;
    const auto number = [](double v) { return QString::number(v, 'f', 1); };
    for (const TBenchResult& b : results) {
        p.Text(QStringLiteral("h3"), NameText(b.Bench.Name));
        if (b.Steps.empty()) {
            p.Text(QStringLiteral("p"), QStringLiteral("No step ran."), QStringLiteral("muted"));
            continue;
        }
        std::vector<int> times;
        for (const TStepRecord& s : b.Steps) {
            if (s.ResponseMs)
                times.push_back(*s.ResponseMs);
        }
        std::sort(times.begin(), times.end());
        QString figures = QStringLiteral("%1 steps").arg(b.Steps.size());
        if (!times.empty())
            figures += QStringLiteral(" \u00b7 median %1 ms \u00b7 slowest %2 ms")
                           .arg(times[times.size() / 2])
                           .arg(times.back());
        if (times.size() < b.Steps.size())
            figures +=
                QStringLiteral(" \u00b7 %1 without an answer").arg(b.Steps.size() - times.size());
        p.Text(QStringLiteral("p"), figures, QStringLiteral("muted"));
        const CaseIndex cases = IndexCases(b);
        auto& w = p.w;
        w.writeStartElement(QStringLiteral("div"));
        w.writeAttribute(QStringLiteral("class"), QStringLiteral("chart"));
        w.writeStartElement(QStringLiteral("svg"));
        w.writeDefaultNamespace(Svg);
        w.writeAttribute(QStringLiteral("width"), number(width));
        w.writeAttribute(QStringLiteral("height"), number(height));
        w.writeAttribute(QStringLiteral("viewBox"),
                         QStringLiteral("0 0 %1 %2").arg(number(width), number(height)));
        w.writeAttribute(QStringLiteral("role"), QStringLiteral("img"));
        w.writeTextElement(QStringLiteral("title"),
                           QStringLiteral("Response times on ") + NameText(b.Bench.Name));
        // The scale: its lines with their values.
        for (int i = 0; i <= lines; ++i) {
            const double y = topMargin + plotH - plotH * i / lines;
            w.writeEmptyElement(QStringLiteral("line"));
            w.writeAttribute(QStringLiteral("x1"), number(left));
            w.writeAttribute(QStringLiteral("x2"), number(width - right));
            w.writeAttribute(QStringLiteral("y1"), number(y));
            w.writeAttribute(QStringLiteral("y2"), number(y));
            w.writeAttribute(QStringLiteral("stroke"),
                             i == 0 ? QStringLiteral("#57606a") : QStringLiteral("#d8dee4"));
            w.writeStartElement(QStringLiteral("text"));
            w.writeAttribute(QStringLiteral("x"), number(left - 6));
            w.writeAttribute(QStringLiteral("y"), number(y + 4));
            w.writeAttribute(QStringLiteral("text-anchor"), QStringLiteral("end"));
            w.writeAttribute(QStringLiteral("font-size"), QStringLiteral("11"));
            w.writeAttribute(QStringLiteral("fill"), QStringLiteral("#57606a"));
            w.writeCharacters(QString::number(top * i / lines, 'g', 4) +
                              (i == lines ? QStringLiteral(" ms") : QString()));
            w.writeEndElement();
        }
        const std::size_t n = b.Steps.size();
        const double slot = plotW / static_cast<double>(n);
        const double bar = std::max(1.0, slot * 0.75);
        const std::size_t labelEvery = std::max<std::size_t>(1, (n + 19) / 20);
        for (std::size_t i = 0; i < n; ++i) {
            const TStepRecord& s = b.Steps[i];
            const auto it = cases.find({s.Script, s.Case});
            const bool failed = it != cases.end() && it->second->Status == TCaseStatus::Failed;
            const double x = left + slot * static_cast<double>(i) + (slot - bar) / 2;
            // One pass: a '%' in a case name is text, not a place for the next argument.
            const QString tip =
                QStringLiteral("step %1, case '%2', line %3: %4")
                    .arg(QString::number(i + 1), NameText(s.Case), QString::number(s.Line),
                         s.ResponseMs ? QString::number(*s.ResponseMs) + QStringLiteral(" ms")
                                      : QStringLiteral("no answer"));
            if (s.ResponseMs) {
                const double h = plotH * std::min(1.0, *s.ResponseMs / top);
                w.writeStartElement(QStringLiteral("rect"));
                w.writeAttribute(QStringLiteral("x"), number(x));
                w.writeAttribute(QStringLiteral("y"), number(topMargin + plotH - h));
                w.writeAttribute(QStringLiteral("width"), number(bar));
                w.writeAttribute(QStringLiteral("height"), number(std::max(h, 0.5)));
                w.writeAttribute(QStringLiteral("fill"),
                                 failed ? QStringLiteral("#c0392b") : QStringLiteral("#3572b0"));
            } else {
                w.writeStartElement(QStringLiteral("circle"));
                w.writeAttribute(QStringLiteral("cx"), number(x + bar / 2));
                w.writeAttribute(QStringLiteral("cy"), number(topMargin + plotH));
                w.writeAttribute(QStringLiteral("r"), QStringLiteral("4"));
                w.writeAttribute(QStringLiteral("fill"), QStringLiteral("#c0392b"));
            }
            w.writeTextElement(QStringLiteral("title"), tip);
            w.writeEndElement();
            // Few bars: each with its figure, so that 0 ms is read as such, not as a gap.
            if (n <= 40 && s.ResponseMs) {
                const double h = plotH * std::min(1.0, *s.ResponseMs / top);
                w.writeStartElement(QStringLiteral("text"));
                w.writeAttribute(QStringLiteral("x"), number(x + bar / 2));
                w.writeAttribute(QStringLiteral("y"), number(topMargin + plotH - h - 3));
                w.writeAttribute(QStringLiteral("text-anchor"), QStringLiteral("middle"));
                w.writeAttribute(QStringLiteral("font-size"), QStringLiteral("10"));
                w.writeAttribute(QStringLiteral("fill"), QStringLiteral("#1d232a"));
                w.writeCharacters(QString::number(*s.ResponseMs));
                w.writeEndElement();
            }
            if (i % labelEvery == 0) {
                w.writeStartElement(QStringLiteral("text"));
                w.writeAttribute(QStringLiteral("x"), number(x + bar / 2));
                w.writeAttribute(QStringLiteral("y"), number(topMargin + plotH + 14));
                w.writeAttribute(QStringLiteral("text-anchor"), QStringLiteral("middle"));
                w.writeAttribute(QStringLiteral("font-size"), QStringLiteral("11"));
                w.writeAttribute(QStringLiteral("fill"), QStringLiteral("#57606a"));
                w.writeCharacters(QString::number(i + 1));
                w.writeEndElement();
            }
        }
        w.writeStartElement(QStringLiteral("text"));
        w.writeAttribute(QStringLiteral("x"), number(left + plotW / 2));
        w.writeAttribute(QStringLiteral("y"), number(height - 2));
        w.writeAttribute(QStringLiteral("text-anchor"), QStringLiteral("middle"));
        w.writeAttribute(QStringLiteral("font-size"), QStringLiteral("11"));
        w.writeAttribute(QStringLiteral("fill"), QStringLiteral("#57606a"));
        w.writeCharacters(QStringLiteral("step"));
        w.writeEndElement();
        w.writeEndElement(); // svg
        w.writeEndElement(); // div
    }
}

} // namespace

std::string HtmlReport(const std::vector<TBenchResult>& results,
                       const std::vector<TDifference>& differences,
                       const THtmlReportOptions& options)
{
    QString xml;
    Page p(&xml);
    auto& w = p.w;
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(1);
    w.writeStartDocument();
    w.writeDTD(QStringLiteral("<!DOCTYPE html>"));
    w.writeStartElement(QStringLiteral("html"));
    w.writeDefaultNamespace(QStringLiteral("http://www.w3.org/1999/xhtml"));
    w.writeAttribute(QStringLiteral("lang"), QStringLiteral("en"));
    w.writeStartElement(QStringLiteral("head"));
    w.writeEmptyElement(QStringLiteral("meta"));
    w.writeAttribute(QStringLiteral("charset"), QStringLiteral("utf-8"));
    w.writeTextElement(QStringLiteral("title"), NameText(options.Title));
    w.writeTextElement(QStringLiteral("style"), QString::fromLatin1(Style));
    w.writeEndElement();
    w.writeStartElement(QStringLiteral("body"));
    p.Text(QStringLiteral("h1"), NameText(options.Title));
    std::vector<TScriptResult> all = AllScripts(results);
    const TRunTotals t = Totals(all);
    QString line = QStringLiteral("%1 benches \u00b7 %2 passed, %3 failed, %4 skipped")
                       .arg(results.size())
                       .arg(t.Passed)
                       .arg(t.Failed)
                       .arg(t.Skipped);
    if (t.Stopped)
        line += QStringLiteral(", %1 stopped").arg(t.Stopped);
    const auto unavailable = std::count_if(results.begin(), results.end(),
                                           [](const TBenchResult& b) { return !b.Error.empty(); });
    if (unavailable)
        line += QStringLiteral(" \u00b7 %1 bench%2 could not run")
                    .arg(unavailable)
                    .arg(unavailable == 1 ? QString() : QStringLiteral("es"));
    if (!options.Generated.empty())
        line += QStringLiteral(" \u00b7 ") + NameText(options.Generated);
    p.Text(QStringLiteral("p"), line, QStringLiteral("sub"));
    Summary(p, results);
    Matrix(p, results);
    Differences(p, results, differences, options.Compared);
    Charts(p, results);
    w.writeEndElement(); // body
    w.writeEndElement(); // html
    w.writeEndDocument();
    return xml.toStdString();
}

} // namespace tallyhost
