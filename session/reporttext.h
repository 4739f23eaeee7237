#pragma once

// Printer bytes as a report's text (JSON, XHTML): Latin-1 characters, with the controls that
// XML 1.0 cannot hold written as \xHH, so that a printer's raw bytes never make a report
// unreadable and every other byte shows as the character it is.

#include <QString>

#include <string_view>

namespace tallyhost {

QString ReportText(std::string_view bytes);

} // namespace tallyhost
