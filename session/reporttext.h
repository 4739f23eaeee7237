#pragma once

// Printer bytes as a report's text (JSON, XHTML): Latin-1 characters, with the controls that
// XML 1.0 cannot hold written as \xHH, so that a printer's raw bytes never make a report
// unreadable and every other byte shows as the character it is.

#include <QString>

#include <string_view>

namespace tallyhost {

QString ReportText(std::string_view bytes);

// UTF-8 text (names, paths, refusals) as a report carries it, controls escaped the same way.
QString NameText(std::string_view utf8);

} // namespace tallyhost
