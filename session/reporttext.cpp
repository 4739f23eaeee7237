#include "session/reporttext.h"

#include <cstdio>

namespace tallyhost {

QString ReportText(std::string_view bytes)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += QLatin1String(escape);
        } else {
            out += QChar(b);
        }
    }
    return out;
}

QString NameText(std::string_view utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            out += ReportText(std::string(1, static_cast<char>(c.unicode())));
        else
            out += c;
    }
    return out;
}

} // namespace tallyhost
