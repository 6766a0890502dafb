#include "settings/settings_support.h"

#include "support/product_files.h"

namespace settings_tests
{
std::string new_log_text()
{
    static test_support::log_mark mark;
    std::string fresh = mark.new_text();
    mark = test_support::log_mark();
    return fresh;
}

std::filesystem::path shipped_defaults()
{
    const std::filesystem::path source = TAG_SOURCE_DIR;
    // Under Wine the Linux source tree is drive Z:.
    return (source.has_root_name() ? source : std::filesystem::path(L"Z:" + source.wstring())) / L"Content" /
           L"Configurations";
}
} // namespace settings_tests
