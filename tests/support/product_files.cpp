#include "support/product_files.h"

#include "TagShellExtension/process_attach.h"
#include "common/folders.h"
#include "common/unique_resources.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>

#include <windows.h>

#include <fstream>

namespace test_support
{
namespace
{
void set_unique_write_time(const std::filesystem::path& path)
{
    static ULONGLONG next = 0;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    next = std::max(next + 10'000'000ULL, (ULONGLONG{now.dwHighDateTime} << 32) | now.dwLowDateTime);
    const FILETIME stamp{static_cast<DWORD>(next), static_cast<DWORD>(next >> 32)};
    const common::unique_hfile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                nullptr));
    SetFileTime(file.get(), nullptr, nullptr, &stamp);
}

std::filesystem::path todays_log()
{
    return tag_extension::log_folder() / tag_extension::log_file_name();
}
} // namespace

settings_override::settings_override(std::wstring_view file_name)
    : path_(common::app_data_folder(L"Settings", L"") / file_name)
{
    if (std::filesystem::exists(path_))
    {
        previous_ = read_file(path_);
    }
}

settings_override::~settings_override()
{
    previous_ ? write(*previous_) : remove();
}

void settings_override::write(std::string_view content) const
{
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    set_unique_write_time(path_);
}

void settings_override::remove() const
{
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

std::string suite_settings_json(std::string_view sortwell_settings, std::string_view status,
                                std::string_view people_settings)
{
    return fmt::format(R"({{"version": "1.0", "apps": [
  {{"app_id": "sortwell", "name": "Sortwell", "status": "{}", "settings": {}}},
  {{"app_id": "brightloom", "name": "Brightloom", "status": "enabled", "settings": {}}}
]}})",
                       status, sortwell_settings, people_settings);
}

log_mark::log_mark()
{
    std::error_code missing;
    const auto size = std::filesystem::file_size(todays_log(), missing);
    size_ = missing ? 0 : size;
}

std::string log_mark::new_text() const
{
    const std::string all = read_file(todays_log());
    return all.size() > size_ ? all.substr(size_) : std::string();
}
} // namespace test_support
