#include "core/template.h"

namespace tallyhost {

namespace {

// Generated from core/default.thf by core/CMakeLists.txt.
constexpr unsigned char kDefaultThf[] = {
#include "default_thf.inc"
};

} // namespace

std::string_view DefaultTemplateText()
{
    return {reinterpret_cast<const char*>(kDefaultThf), sizeof kDefaultThf};
}

} // namespace tallyhost
