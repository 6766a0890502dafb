#include "TagShellExtension/icons/command_icons.h"

#include "common/folders.h"
#include "common/unique_resources.h"
#include "common/windows_paths.h"

namespace tag_extension
{
namespace
{
std::wstring module_icon_path(HMODULE module, const wchar_t* name)
{
    return common::module_folder(module).wstring() + name;
}

} // namespace

bool apps_use_light_theme()
{
    common::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                      0, KEY_READ, key.put()) != ERROR_SUCCESS)
    {
        return true;
    }
    DWORD value = 1;
    DWORD size = sizeof(value);
    const LSTATUS status = RegQueryValueExW(key.get(), L"AppsUseLightTheme", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(&value), &size);
    return status != ERROR_SUCCESS || value != 0;
}

std::wstring tag_command_icon_path(bool light_theme)
{
    return module_icon_path(common::module_handle(), light_theme ? tag_light_icon_name : tag_dark_icon_name);
}

const std::wstring& tag_command_icon_path()
{
    // A theme change is picked up only when Explorer loads the module again.
    static const std::wstring path = tag_command_icon_path(apps_use_light_theme());
    return path;
}

const std::wstring& auto_tag_icon_path()
{
    static const std::wstring path = module_icon_path(common::module_handle(), auto_tag_icon_name);
    return path;
}

std::wstring check_mark_icon_path(HMODULE module)
{
    return module_icon_path(module, check_mark_icon_name);
}

std::wstring resolve_icon_path(const std::optional<std::wstring>& value)
{
    if (!value)
    {
        return {};
    }
    if (common::is_absolute_windows_path(*value))
    {
        return *value;
    }
    return common::module_folder(common::module_handle()).wstring() + L"\\" + *value;
}
} // namespace tag_extension
