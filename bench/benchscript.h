#pragma once

// The script the runner benchmarks send on the instant simulator: `cases` cases of one status
// request each, asserting both status words and the return code, against the demo catalogue.

#include <QFile>
#include <QString>

#include <string>

namespace tallyhost::bench {

// Writes the script to `path`; false when it cannot be written.
inline bool writeStatusScript(const std::string& path, int cases)
{
    std::string text = "catalogue " TALLYHOST_EXAMPLES_DIR "/demo.thf\n";
    for (int i = 0; i < cases; ++i) {
        text += "case \"Status " + std::to_string(i) +
                "\"\n"
                "  send Status \"Status request\"\n"
                "  expect printer-status 0000\n"
                "  expect fiscal-status 0000\n"
                "  expect return-code 0\n";
    }
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) &&
           file.write(text.data(), static_cast<qint64>(text.size())) ==
               static_cast<qint64>(text.size());
}

} // namespace tallyhost::bench
