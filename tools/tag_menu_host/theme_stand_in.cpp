#include "theme_stand_in.h"

#include "tools/explorer_driver/import_patch.h"

#include <cwchar>

namespace tag_menu_host
{
namespace
{
constexpr const wchar_t* personalize_key =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

using open_key_function = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using query_value_function = LSTATUS(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using close_key_function = LSTATUS(WINAPI*)(HKEY);

struct theme_state
{
    DWORD light = 1;
    open_key_function open_key = &RegOpenKeyExW;
    query_value_function query_value = &RegQueryValueExW;
    close_key_function close_key = &RegCloseKey;
};

theme_state& state()
{
    static theme_state instance;
    return instance;
}

// Stands for the opened Personalize key; never reaches the real registry.
char personalize_handle_target;
HKEY personalize_handle()
{
    return reinterpret_cast<HKEY>(&personalize_handle_target);
}

LSTATUS WINAPI stand_in_open_key(HKEY key, LPCWSTR name, DWORD options, REGSAM access, PHKEY result) noexcept
{
    if (key == HKEY_CURRENT_USER && name != nullptr && result != nullptr &&
        _wcsicmp(name, personalize_key) == 0)
    {
        *result = personalize_handle();
        return ERROR_SUCCESS;
    }
    return state().open_key(key, name, options, access, result);
}

LSTATUS WINAPI stand_in_query_value(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                    LPDWORD size) noexcept
{
    if (key != personalize_handle())
    {
        return state().query_value(key, name, reserved, type, data, size);
    }
    if (name == nullptr || _wcsicmp(name, L"AppsUseLightTheme") != 0)
    {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type != nullptr)
    {
        *type = REG_DWORD;
    }
    if (data != nullptr && (size == nullptr || *size < sizeof(DWORD)))
    {
        if (size != nullptr)
        {
            *size = sizeof(DWORD);
        }
        return ERROR_MORE_DATA;
    }
    if (data != nullptr)
    {
        CopyMemory(data, &state().light, sizeof(DWORD));
    }
    if (size != nullptr)
    {
        *size = sizeof(DWORD);
    }
    return ERROR_SUCCESS;
}

LSTATUS WINAPI stand_in_close_key(HKEY key) noexcept
{
    return key == personalize_handle() ? ERROR_SUCCESS : state().close_key(key);
}
} // namespace

bool install_theme_stand_in(HMODULE module, bool light)
{
    auto& current = state();
    current.light = light ? 1 : 0;
    // The close and query stand-ins go in first: the handle the open one gives must never
    // reach the real registry.
    const bool closes =
        explorer_driver::patch_import(module, "advapi32.dll", "RegCloseKey",
                                      reinterpret_cast<void*>(&stand_in_close_key)) != nullptr;
    const bool queries =
        explorer_driver::patch_import(module, "advapi32.dll", "RegQueryValueExW",
                                      reinterpret_cast<void*>(&stand_in_query_value)) != nullptr;
    if (!closes || !queries)
    {
        return false;
    }
    return explorer_driver::patch_import(module, "advapi32.dll", "RegOpenKeyExW",
                                         reinterpret_cast<void*>(&stand_in_open_key)) != nullptr;
}
} // namespace tag_menu_host
