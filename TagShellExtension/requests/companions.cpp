#include "TagShellExtension/requests/companions.h"

#include "common/folders.h"

namespace tag_extension
{
namespace
{
std::wstring beside_module(HMODULE module, std::wstring_view name)
{
    return (common::module_folder(module) / name).wstring();
}
} // namespace

std::wstring batch_processor_path(HMODULE module)
{
    return beside_module(module, batch_processor_name);
}

std::wstring tag_manager_path(HMODULE module)
{
    return beside_module(module, tag_manager_name);
}

std::wstring main_application_path(HMODULE module)
{
    return beside_module(module, main_application_name);
}

std::wstring batch_processor_arguments(const std::wstring& request_path)
{
    return request_path;
}

std::wstring tag_manager_arguments(const std::wstring& tag_definitions_path, const std::wstring& request_path)
{
    return L"\"" + tag_definitions_path + L"\" \"" + request_path + L"\"";
}

std::wstring main_application_arguments(std::wstring_view page)
{
    return L"--open-tab=" + std::wstring(page);
}
} // namespace tag_extension
