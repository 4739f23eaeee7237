#pragma once

#include <string>
#include <string_view>

namespace tallyhost {

// The build's version information, looked up by key name as the About box does:
// "ProductName", "FileVersion", "CompanyName", "LegalCopyright". An unknown key gives an
// empty text, as a missing entry of the version resource would.
std::string VersionString(std::string_view key);

} // namespace tallyhost
