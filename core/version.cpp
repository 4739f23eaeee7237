#include "core/version.h"

#include "tallyhost_version.h"

namespace tallyhost {

std::string VersionString(std::string_view key)
{
    if (key == "ProductName")
        return TALLYHOST_PRODUCT_NAME;
    if (key == "FileVersion")
        return TALLYHOST_FILE_VERSION;
    if (key == "CompanyName")
        return TALLYHOST_COMPANY_NAME;
    if (key == "LegalCopyright")
        return TALLYHOST_COPYRIGHT;
    return {};
}

} // namespace tallyhost
