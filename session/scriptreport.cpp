#include "session/scriptreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tallyhost {

namespace {

// Bytes as the reports carry them: Latin-1 characters, with the controls XML 1.0 cannot hold
// written as \xHH, so that a printer's raw bytes never make a report unreadable.
QString ReportText(const std::string& bytes)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += QLatin1String(escape);
        } else
            out += QChar(b);
    }
    return out;
}

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

QString StatusName(TCaseStatus status)
{
    switch (status) {
    case TCaseStatus::Passed:
        return QStringLiteral("passed");
    case TCaseStatus::Failed:
        return QStringLiteral("failed");
    case TCaseStatus::Skipped:
        return QStringLiteral("skipped");
    case TCaseStatus::Stopped:
        return QStringLiteral("stopped");
    }
    return {};
}

} // namespace

std::string FailureMessage(const TCaseFailure& failure)
{
    return failure.Expectation + " expected " + failure.Expected + ", got " + failure.Actual +
           " (line " + std::to_string(failure.Line) + ")";
}

TRunTotals Totals(const std::vector<TScriptResult>& results)
{
    TRunTotals t;
    for (const TScriptResult& s : results) {
        if (!s.Refusals.empty())
            ++t.Refused;
        if (!s.BenchError.empty())
            ++t.Errors;
        for (const TCaseResult& c : s.Cases) {
            switch (c.Status) {
            case TCaseStatus::Passed:
                ++t.Passed;
                break;
            case TCaseStatus::Failed:
                ++t.Failed;
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

std::string JUnitReport(const std::vector<TScriptResult>& results)
{
    QString xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    const TRunTotals all = Totals(results);
    double total = 0;
    int tests = 0;
    for (const TScriptResult& s : results) {
        total += s.Seconds;
        tests += s.Refusals.empty() && s.BenchError.empty() ? static_cast<int>(s.Cases.size()) : 1;
    }
    w.writeStartElement(QStringLiteral("testsuites"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("tallyhost"));
    w.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    w.writeAttribute(QStringLiteral("failures"), QString::number(all.Failed));
    w.writeAttribute(QStringLiteral("errors"), QString::number(all.Refused + all.Errors));
    w.writeAttribute(QStringLiteral("skipped"), QString::number(all.Skipped + all.Stopped));
    w.writeAttribute(QStringLiteral("time"), Seconds(total));
    for (const TScriptResult& s : results) {
        // CI servers group cases by classname: on several benches each bench is a group.
        const QString bench = ReportText(s.Bench);
        const QString suite = (bench.isEmpty() ? QString() : bench + '/') + ReportText(s.Script);
        const QString script = (bench.isEmpty() ? QString() : bench + '.') + ReportText(s.Script);
        const TRunTotals t = Totals({s});
        const bool ran = s.Refusals.empty() && s.BenchError.empty();
        w.writeStartElement(QStringLiteral("testsuite"));
        w.writeAttribute(QStringLiteral("name"), suite);
        w.writeAttribute(QStringLiteral("tests"), QString::number(ran ? s.Cases.size() : 1));
        w.writeAttribute(QStringLiteral("failures"), QString::number(t.Failed));
        w.writeAttribute(QStringLiteral("errors"), QString::number(t.Refused + t.Errors));
        w.writeAttribute(QStringLiteral("skipped"), QString::number(t.Skipped + t.Stopped));
        w.writeAttribute(QStringLiteral("time"), Seconds(s.Seconds));
        if (!s.Refusals.empty()) {
            // Nothing ran: one case tells why, so that CI shows a red line, not an empty suite.
            w.writeStartElement(QStringLiteral("testcase"));
            w.writeAttribute(QStringLiteral("classname"), script);
            w.writeAttribute(QStringLiteral("name"), QStringLiteral("script refused"));
            w.writeAttribute(QStringLiteral("time"), Seconds(0));
            w.writeStartElement(QStringLiteral("error"));
            w.writeAttribute(QStringLiteral("message"), ReportText(s.Refusals.front()));
            w.writeCharacters(ReportText(Joined(s.Refusals)));
            w.writeEndElement();
            w.writeEndElement();
        } else if (!s.BenchError.empty()) {
            w.writeStartElement(QStringLiteral("testcase"));
            w.writeAttribute(QStringLiteral("classname"), script);
            w.writeAttribute(QStringLiteral("name"), QStringLiteral("bench unavailable"));
            w.writeAttribute(QStringLiteral("time"), Seconds(0));
            w.writeStartElement(QStringLiteral("error"));
            w.writeAttribute(QStringLiteral("message"), ReportText(s.BenchError));
            w.writeCharacters(ReportText(s.BenchError));
            w.writeEndElement();
            w.writeEndElement();
        }
        for (const TCaseResult& c : ran ? s.Cases : std::vector<TCaseResult>{}) {
            w.writeStartElement(QStringLiteral("testcase"));
            w.writeAttribute(QStringLiteral("classname"), script);
            w.writeAttribute(QStringLiteral("name"), ReportText(c.Name));
            w.writeAttribute(QStringLiteral("time"), Seconds(c.Seconds));
            if (c.Status == TCaseStatus::Failed && c.Failure) {
                const QString message = ReportText(FailureMessage(*c.Failure));
                w.writeStartElement(QStringLiteral("failure"));
                w.writeAttribute(QStringLiteral("message"), message);
                w.writeAttribute(QStringLiteral("type"), ReportText(c.Failure->Expectation));
                // GitLab shows the element's text, not the attribute.
                w.writeCharacters(message);
                w.writeEndElement();
            } else if (c.Status == TCaseStatus::Skipped) {
                w.writeEmptyElement(QStringLiteral("skipped"));
            } else if (c.Status == TCaseStatus::Stopped) {
                w.writeEmptyElement(QStringLiteral("skipped"));
                w.writeAttribute(QStringLiteral("message"), QStringLiteral("the run was stopped"));
            }
            if (!c.Log.empty())
                w.writeTextElement(QStringLiteral("system-out"), ReportText(Joined(c.Log)));
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return xml.toStdString();
}

std::string JsonReport(const std::vector<TScriptResult>& results)
{
    const TRunTotals all = Totals(results);
    QJsonArray scripts;
    for (const TScriptResult& s : results) {
        QJsonArray refusals;
        for (const std::string& r : s.Refusals)
            refusals.append(ReportText(r));
        QJsonArray cases;
        for (const TCaseResult& c : s.Cases) {
            QJsonObject o;
            o["name"] = ReportText(c.Name);
            o["line"] = c.Line;
            o["status"] = StatusName(c.Status);
            o["time"] = std::round(c.Seconds * 1000) / 1000;
            if (c.Failure) {
                QJsonObject f;
                f["line"] = c.Failure->Line;
                f["expectation"] = ReportText(c.Failure->Expectation);
                f["expected"] = ReportText(c.Failure->Expected);
                f["actual"] = ReportText(c.Failure->Actual);
                f["message"] = ReportText(FailureMessage(*c.Failure));
                o["failure"] = f;
            } else {
                o["failure"] = QJsonValue::Null;
            }
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
        o["script"] = ReportText(s.Script);
        if (!s.Bench.empty()) {
            o["bench"] = ReportText(s.Bench);
            o["benchError"] = s.BenchError.empty() ? QJsonValue() : ReportText(s.BenchError);
        }
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
    totals["errors"] = all.Errors;
    QJsonObject out;
    out["passed"] = all.Failed == 0 && all.Refused == 0 && all.Errors == 0 && all.Stopped == 0;
    out["totals"] = totals;
    out["scripts"] = scripts;
    return QJsonDocument(out).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace tallyhost
