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

} // namespace tallyhost
