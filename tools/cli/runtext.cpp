#include "tools/cli/runtext.h"

#include "tools/cli/cliutil.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace tallyhost::cli {

std::string CaseLine(const TCaseResult& c)
{
    const char* word = c.Status == TCaseStatus::Passed    ? "PASS"
                       : c.Status == TCaseStatus::Failed  ? "FAIL"
                       : c.Status == TCaseStatus::Stopped ? "STOP"
                                                          : "SKIP";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " (%.3f s)", c.Seconds);
    const std::string why = c.Failure ? Readable(FailureMessage(*c.Failure)) : Readable(c.Reason);
    return word + (" " + Readable(c.Name)) + seconds + (why.empty() ? "" : ": " + why);
}

std::string Counts(const TRunTotals& t)
{
    std::string text = std::to_string(t.Passed) + " passed, " + std::to_string(t.Failed) +
                       " failed, " + std::to_string(t.Skipped) + " skipped";
    if (t.Stopped)
        text += ", " + std::to_string(t.Stopped) + " stopped";
    return text;
}

bool WriteReportFile(const std::string& path, const std::string& text)
{
    QSaveFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
}

} // namespace tallyhost::cli
