#include "TagShellExtension/process_attach.h"

#include "common/folders.h"
#include "common/logger.h"

#include <fmt/xchar.h>

namespace tag_extension
{
namespace
{
constexpr const wchar_t* component_name = L"Tag Context Menu";
constexpr const wchar_t* application_name = L"Sortwell";
} // namespace

std::filesystem::path log_folder()
{
    return common::local_app_data_folder() / common::company_folder_name / common::product_folder_name /
           application_name / component_name / L"Logs";
}

std::wstring log_file_name()
{
    SYSTEMTIME today{};
    GetLocalTime(&today);
    return fmt::format(L"{} {:04}-{:02}-{:02}.log", component_name, today.wYear, today.wMonth, today.wDay);
}

void process_attach(HINSTANCE instance) noexcept
{
    common::set_module_handle(instance);
    try
    {
        auto logger = common::shared_logger();
        const auto folder = log_folder();
        common::ensure_folder(folder);
        logger->open((folder / log_file_name()).wstring());
    }
    catch (...)
    {
        // No log folder: the extension works on, without log lines.
    }
}
} // namespace tag_extension
