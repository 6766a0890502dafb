#include "TagShellExtension/tag_context_main_menu_item.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/icons/command_icons.h"
#include "TagShellExtension/module_strings.h"
#include "TagShellExtension/supported_item_types.h"
#include "TagShellExtension/tag_context_sub_menu_collection.h"
#include "TagShellExtension/tag_context_sub_menu_item.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "high_level_settings/settings_file.h"
#include "resource.h"

#include <shlwapi.h>

#include <memory>
#include <stdexcept>

namespace tag_extension
{
namespace
{
using cotask_string = std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)>;

std::wstring lower_case(std::wstring text)
{
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::string ascii_lower_case(std::string text)
{
    for (char& c : text)
    {
        if (c >= 'A' && c <= 'Z')
        {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Both switches are always asked, so the owning application's check refreshes the settings.
bool menu_enabled_by_settings()
{
    auto& settings = high_level_settings::suite_settings();
    const bool owning_app_enabled = settings.is_owning_app_enabled();
    const bool menu_switched_on =
        settings.get_bool(high_level_settings::owning_app_id, "general.showTagContextMenu", true);
    return owning_app_enabled && menu_switched_on;
}

// A tab and the configured key, shown right-aligned by the menu; empty when hot keys are off.
std::wstring hotkey_suffix()
{
    auto& settings = high_level_settings::suite_settings();
    settings.load(false);
    if (!settings.get_bool(high_level_settings::owning_app_id, "general.enableTagHotkeys", true))
    {
        return {};
    }
    const std::wstring key = settings.get_string(high_level_settings::owning_app_id, "hotkeys.tagKey", L"");
    return key.empty() ? key : L"\t" + key;
}
} // namespace

const std::wstring& base_title()
{
    return module_string(IDS_TAG);
}

bool is_supported_by_context_menu(IShellItemArray* items)
{
    Microsoft::WRL::ComPtr<IShellItem> first;
    if (FAILED(items->GetItemAt(0, &first)))
    {
        throw std::runtime_error("is_supported_by_context_menu: Unable to determine selected items");
    }

    PWSTR raw_name = nullptr;
    if (FAILED(first->GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING, &raw_name)))
    {
        common::log(common::log_level::error, "is_supported_by_context_menu: Unable to get display name "
                                              "GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING");
        return false;
    }
    const cotask_string name(raw_name, &CoTaskMemFree);

    const DWORD attributes = GetFileAttributesW(name.get());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        return volume_supports_extended_attributes(lower_case(name.get()));
    }

    const std::string extension = ascii_lower_case(common::to_utf8(PathFindExtensionW(name.get())));
    if (!is_supported_extension(extension))
    {
        return false;
    }
    return is_volume_exempt_extension(extension) ||
           volume_supports_extended_attributes(lower_case(name.get()));
}

IFACEMETHODIMP tag_context_main_menu_item::GetTitle(IShellItemArray*, LPWSTR* title) noexcept
{
    if (title == nullptr)
    {
        return E_POINTER;
    }
    *title = nullptr;
    return com_call(E_FAIL, "Unable to append Tag hotkey to menu title",
                    [&]
                    {
                        std::wstring text = base_title();
                        com_call(S_OK, "Unable to append Tag hotkey to menu title",
                                 [&]
                                 {
                                     text += hotkey_suffix();
                                     return S_OK;
                                 });
                        return SHStrDupW(text.c_str(), title);
                    });
}

IFACEMETHODIMP tag_context_main_menu_item::GetIcon(IShellItemArray*, LPWSTR* icon) noexcept
{
    if (icon == nullptr)
    {
        return E_POINTER;
    }
    *icon = nullptr;
    return com_call(E_FAIL, "Unable to find the Tag command's icon",
                    [&] { return SHStrDupW(tag_command_icon_path().c_str(), icon); });
}

IFACEMETHODIMP tag_context_main_menu_item::GetToolTip(IShellItemArray*, LPWSTR* tip) noexcept
{
    return no_text(tip);
}

IFACEMETHODIMP tag_context_main_menu_item::GetCanonicalName(GUID* name) noexcept
{
    if (name == nullptr)
    {
        return E_POINTER;
    }
    *name = CLSID_tag_context_main_menu_item;
    return S_OK;
}

IFACEMETHODIMP tag_context_main_menu_item::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state) noexcept
{
    if (state == nullptr)
    {
        return E_POINTER;
    }
    *state = ECS_HIDDEN;
    return com_call(S_OK, "Unable to determine selection state and/or supported class type(s)",
                    [&]
                    {
                        if (menu_enabled_by_settings() && items != nullptr &&
                            is_supported_by_context_menu(items))
                        {
                            *state = ECS_ENABLED;
                        }
                        return S_OK;
                    });
}

IFACEMETHODIMP tag_context_main_menu_item::Invoke(IShellItemArray*, IBindCtx*) noexcept
{
    return E_NOTIMPL;
}

IFACEMETHODIMP tag_context_main_menu_item::GetFlags(EXPCMDFLAGS* flags) noexcept
{
    if (flags == nullptr)
    {
        return E_POINTER;
    }
    *flags = ECF_HASSUBCOMMANDS;
    return S_OK;
}

IFACEMETHODIMP tag_context_main_menu_item::EnumSubCommands(IEnumExplorerCommand** commands) noexcept
{
    if (commands == nullptr)
    {
        return E_POINTER;
    }
    *commands = nullptr;
    return com_call(S_FALSE, "Failed to create tag_context_sub_menu_collection",
                    [&]
                    {
                        auto collection = make_object<tag_context_sub_menu_collection>();
                        collection->fill(site_);
                        return collection->QueryInterface(IID_PPV_ARGS(commands));
                    });
}

IFACEMETHODIMP tag_context_main_menu_item::SetSite(IUnknown* site) noexcept
{
    site_ = site;
    return S_OK;
}

IFACEMETHODIMP tag_context_main_menu_item::GetSite(REFIID iid, void** site) noexcept
{
    if (site == nullptr)
    {
        return E_POINTER;
    }
    *site = nullptr;
    if (!site_)
    {
        return E_FAIL;
    }
    return site_.CopyTo(iid, site);
}
} // namespace tag_extension
