#pragma once

#include <string_view>

namespace tallyhost {

// The built-in template of a new terminal file (resource DEFAULTTHF): a comment block that
// summarises the format, then [General], [Return code], [FiscalAnswer], [PrinterAnswer] and
// [Groups]. 148 lines ended by CR LF, 4080 bytes. Built into the library from core/default.thf.
std::string_view DefaultTemplateText();

} // namespace tallyhost
