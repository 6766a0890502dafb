#include "settings/settings_support.h"

#include "common/logger.h"
#include "support/scratch_folder.h"

#include <algorithm>

namespace settings_tests
{
std::string new_log_text()
{
    static const test_support::scratch_folder folder;
    static const auto file = []
    {
        common::shared_logger()->open((folder / L"settings.log").wstring());
        return folder / L"settings.log";
    }();
    static std::size_t seen = 0;
    const auto text = test_support::read_file(file);
    const auto fresh = text.substr(std::min(seen, text.size()));
    seen = text.size();
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
