#include "session/scriptreport.h"
#include "session/reporttext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace tallyhost {

namespace {

QString Seconds(double seconds)
{
    return QString::number(std::max(0.0, seconds), 'f', 3);
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

} // namespace

const char* CaseStatusName(TCaseStatus status)
{
    switch (status) {
    case TCaseStatus::Passed:
        return "passed";
    case TCaseStatus::Failed:
        return "failed";
    case TCaseStatus::Skipped:
        return "skipped";
    case TCaseStatus::Stopped:
        return "stopped";
    }
    return "";
}

std::string FailureMessage(const TCaseFailure& failure)
{
    const std::string line = " (line " + std::to_string(failure.Line) + ")";
    if (failure.Error)
        return (failure.Expectation.empty() ? "" : failure.Expectation + ": ") + failure.Actual +
               line;
    return failure.Expectation + " expected " + failure.Expected + ", got " + failure.Actual + line;
}

namespace {

// Where a script lies, to tell two paths of one file from two files.
QString AbsoluteScript(const std::string& path)
{
    return QDir::cleanPath(QFileInfo(QFile::decodeName(path.c_str())).absoluteFilePath());
}

} // namespace

std::string ReportScriptName(const std::string& path, const std::vector<std::string>& run)
{
    const QString given = QFile::decodeName(path.c_str());
    const QFileInfo info(given);
    QString name = QDir::cleanPath(given);
    if (info.isAbsolute()) {
        name = QDir::current().relativeFilePath(given);
        const bool outside = name.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(name);
        const QString self = AbsoluteScript(path);
        const bool shared = std::any_of(run.begin(), run.end(), [&](const std::string& other) {
            return QFileInfo(QFile::decodeName(other.c_str())).fileName() == info.fileName() &&
                   AbsoluteScript(other) != self;
        });
        if (outside && !shared)
            name = info.fileName();
    }
    return QFile::encodeName(name).toStdString();
}

std::vector<std::string> ScriptPaths(const std::vector<TScriptResult>& results)
{
    std::vector<std::string> paths;
    for (const TScriptResult& s : results)
        paths.push_back(s.Script);
    return paths;
}

TRunTotals Totals(const std::vector<TScriptResult>& results)
{
    TRunTotals t;
    for (const TScriptResult& s : results) {
        if (!s.Refusals.empty())
            ++t.Refused;
        if (!s.Error.empty() || !s.BenchError.empty())
            ++t.Broken;
        for (const TCaseResult& c : s.Cases) {
            switch (c.Status) {
            case TCaseStatus::Passed:
                ++t.Passed;
                break;
            case TCaseStatus::Failed:
                ++t.Failed;
                if (c.Failure && c.Failure->Error)
                    ++t.Errors;
                break;
            case TCaseStatus::Skipped:
                ++t.Skipped;
                break;
            case TCaseStatus::Stopped:
                ++t.Stopped;
                break;
            }
        }
    }
    return t;
}

namespace {

// The testcases a script's suite holds: its cases, or one "script refused"; and one "(run)"
// more for a suite-level error.
int SuiteTests(const TScriptResult& s)
{
    const bool ran = s.Refusals.empty() && s.BenchError.empty();
    return (ran ? static_cast<int>(s.Cases.size()) : 1) + (s.Error.empty() ? 0 : 1);
}

// A suite's failures and errors as JUnit counts them: a step that could not be judged, a
// refusal and a suite-level error are errors.
void WriteCounts(QXmlStreamWriter& w, const TRunTotals& t, int tests, double seconds)
{
    w.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    w.writeAttribute(QStringLiteral("failures"), QString::number(t.Failed - t.Errors));
    w.writeAttribute(QStringLiteral("errors"), QString::number(t.Errors + t.Refused + t.Broken));
    w.writeAttribute(QStringLiteral("skipped"), QString::number(t.Skipped + t.Stopped));
    w.writeAttribute(QStringLiteral("time"), Seconds(seconds));
}

void WriteError(QXmlStreamWriter& w, const QString& classname, const QString& name,
                const QString& message, const QString& text)
{
    w.writeStartElement(QStringLiteral("testcase"));
    w.writeAttribute(QStringLiteral("classname"), classname);
    w.writeAttribute(QStringLiteral("name"), name);
    w.writeAttribute(QStringLiteral("time"), Seconds(0));
    w.writeStartElement(QStringLiteral("error"));
    w.writeAttribute(QStringLiteral("message"), message);
    w.writeCharacters(text);
    w.writeEndElement();
    w.writeEndElement();
}

} // namespace

std::string JUnitReport(const std::vector<TScriptResult>& results)
{
    QString xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    double total = 0;
    int tests = 0;
    for (const TScriptResult& s : results) {
        total += s.Seconds;
        tests += SuiteTests(s);
    }
    w.writeStartElement(QStringLiteral("testsuites"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("tallyhost"));
    WriteCounts(w, Totals(results), tests, total);
    const std::vector<std::string> run = ScriptPaths(results);
    for (const TScriptResult& s : results) {
        // CI servers group cases by classname: on several benches each bench is a group.
        const QString name = NameText(ReportScriptName(s.Script, run));
        const QString bench = NameText(s.Bench);
        const QString suite = bench.isEmpty() ? name : bench + '/' + name;
        const QString script = bench.isEmpty() ? name : bench + '.' + name;
        w.writeStartElement(QStringLiteral("testsuite"));
        w.writeAttribute(QStringLiteral("name"), suite);
        WriteCounts(w, Totals({s}), SuiteTests(s), s.Seconds);
        if (!s.Refusals.empty()) {
            // Nothing ran: one case tells why, so that CI shows a red line, not an empty suite.
            WriteError(w, script, QStringLiteral("script refused"), NameText(s.Refusals.front()),
                       NameText(Joined(s.Refusals)));
        } else if (!s.BenchError.empty()) {
            WriteError(w, script, QStringLiteral("bench unavailable"), NameText(s.BenchError),
                       NameText(s.BenchError));
        }
        const bool ran = s.Refusals.empty() && s.BenchError.empty();
        for (const TCaseResult& c : ran ? s.Cases : std::vector<TCaseResult>{}) {
            w.writeStartElement(QStringLiteral("testcase"));
            w.writeAttribute(QStringLiteral("classname"), script);
            w.writeAttribute(QStringLiteral("name"), NameText(c.Name));
            w.writeAttribute(QStringLiteral("time"), Seconds(c.Seconds));
            if (c.Status == TCaseStatus::Failed && c.Failure) {
                const QString message = ReportText(FailureMessage(*c.Failure));
                w.writeStartElement(c.Failure->Error ? QStringLiteral("error")
                                                     : QStringLiteral("failure"));
                w.writeAttribute(QStringLiteral("message"), message);
                w.writeAttribute(QStringLiteral("type"), ReportText(c.Failure->Expectation));
                // GitLab shows the element's text, not the attribute.
                w.writeCharacters(message);
                w.writeEndElement();
            } else if (c.Status == TCaseStatus::Skipped) {
                w.writeEmptyElement(QStringLiteral("skipped"));
                if (!c.Reason.empty())
                    w.writeAttribute(QStringLiteral("message"), NameText(c.Reason));
            } else if (c.Status == TCaseStatus::Stopped) {
                // JUnit has no other word for a case cut off: skipped, with why.
                w.writeEmptyElement(QStringLiteral("skipped"));
                w.writeAttribute(QStringLiteral("message"),
                                 NameText(c.Reason.empty() ? "the run was stopped" : c.Reason));
            }
            if (!c.Log.empty())
                w.writeTextElement(QStringLiteral("system-out"), ReportText(Joined(c.Log)));
            w.writeEndElement();
        }
        if (!s.Error.empty())
            WriteError(w, script, QStringLiteral("(run)"), NameText(s.Error), NameText(s.Error));
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return xml.toStdString();
}

std::string JsonReport(const std::vector<TScriptResult>& results)
{
    const TRunTotals all = Totals(results);
    const std::vector<std::string> run = ScriptPaths(results);
    QJsonArray scripts;
    for (const TScriptResult& s : results) {
        QJsonArray refusals;
        for (const std::string& r : s.Refusals)
            refusals.append(NameText(r));
        QJsonArray cases;
        for (const TCaseResult& c : s.Cases) {
            QJsonObject o;
            o["name"] = NameText(c.Name);
            o["line"] = c.Line;
            o["status"] = QLatin1String(CaseStatusName(c.Status));
            o["time"] = std::round(c.Seconds * 1000) / 1000;
            if (c.Failure) {
                QJsonObject f;
                f["line"] = c.Failure->Line;
                f["expectation"] = ReportText(c.Failure->Expectation);
                f["expected"] = ReportText(c.Failure->Expected);
                f["actual"] = ReportText(c.Failure->Actual);
                f["message"] = ReportText(FailureMessage(*c.Failure));
                f["error"] = c.Failure->Error;
                o["failure"] = f;
            } else {
                o["failure"] = QJsonValue::Null;
            }
            if (!c.Reason.empty())
                o["reason"] = NameText(c.Reason);
            QJsonArray log;
            for (const std::string& line : c.Log)
                log.append(ReportText(line));
            o["log"] = log;
            QJsonArray steps;
            for (const TStepTime& step : c.Steps) {
                QJsonObject t;
                t["line"] = step.Line;
                t["responseMs"] = step.ResponseMs ? QJsonValue(*step.ResponseMs) : QJsonValue();
                steps.append(t);
            }
            o["steps"] = steps;
            cases.append(o);
        }
        QJsonObject o;
        o["script"] = NameText(ReportScriptName(s.Script, run));
        if (!s.Bench.empty()) {
            o["bench"] = NameText(s.Bench);
            o["benchError"] = s.BenchError.empty() ? QJsonValue() : NameText(s.BenchError);
        }
        o["error"] = s.Error.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(NameText(s.Error));
        o["time"] = std::round(s.Seconds * 1000) / 1000;
        o["refusals"] = refusals;
        o["cases"] = cases;
        scripts.append(o);
    }
    QJsonObject totals;
    totals["passed"] = all.Passed;
    totals["failed"] = all.Failed;
    totals["skipped"] = all.Skipped;
    totals["stopped"] = all.Stopped;
    totals["refused"] = all.Refused;
    totals["errors"] = all.Errors + all.Broken;
    QJsonObject out;
    out["passed"] = all.Failed == 0 && all.Refused == 0 && all.Broken == 0 && all.Stopped == 0;
    out["totals"] = totals;
    out["scripts"] = scripts;
    return QJsonDocument(out).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace tallyhost
