#include "TagShellExtension/tag_context_main_menu_item.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/icons/command_icons.h"
#include "TagShellExtension/module_strings.h"
#include "TagShellExtension/supported_item_types.h"
#include "TagShellExtension/tag_context_sub_menu_collection.h"
#include "TagShellExtension/tag_context_sub_menu_item.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "common/unique_resources.h"
#include "high_level_settings/settings_file.h"
#include "resource.h"

#include <shlwapi.h>

#include <memory>
#include <stdexcept>

namespace tag_extension
{
namespace
{
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

// The first item decides: a folder needs a volume with extended attributes, a file a supported
// extension and, unless the type is exempt, such a volume too.
void judge_first_item(IShellItemArray* items, tag_command_verdict& verdict)
{
    Microsoft::WRL::ComPtr<IShellItem> first;
    if (FAILED(items->GetItemAt(0, &first)))
    {
        throw std::runtime_error("is_supported_by_context_menu: Unable to determine selected items");
    }

    common::unique_cotaskmem_string name;
    if (FAILED(first->GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING, name.put())))
    {
        common::log(common::log_level::error, "is_supported_by_context_menu: Unable to get display name "
                                              "GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING");
        verdict.hidden_because |= first_item_unnamed;
        return;
    }
    verdict.first_item = name.get();

    const DWORD attributes = GetFileAttributesW(name.get());
    verdict.first_item_is_folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!verdict.first_item_is_folder)
    {
        verdict.extension = ascii_lower_case(common::to_utf8(PathFindExtensionW(name.get())));
        if (!is_supported_extension(verdict.extension))
        {
            verdict.hidden_because |= unsupported_type;
            return;
        }
        if (is_volume_exempt_extension(verdict.extension))
        {
            return;
        }
    }
    if (!volume_supports_extended_attributes(lower_case(name.get())))
    {
        verdict.hidden_because |= volume_without_extended_attributes;
    }
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

tag_command_verdict judge_selection(IShellItemArray* items, bool every_reason)
{
    tag_command_verdict verdict;
    auto& settings = high_level_settings::suite_settings();
    // Both switches are always asked, so the owning application's check refreshes the settings.
    const auto owning_app = settings.owning_app_status();
    const bool menu_switched_on =
        settings.get_bool(high_level_settings::owning_app_id, "general.showTagContextMenu", true);
    if (owning_app == high_level_settings::app_status::settings_unreadable)
    {
        verdict.hidden_because |= settings_unreadable;
    }
    else if (owning_app == high_level_settings::app_status::disabled)
    {
        verdict.hidden_because |= owning_app_disabled;
    }
    if (!menu_switched_on)
    {
        verdict.hidden_because |= menu_switched_off;
    }
    if (verdict.hidden_because != 0 && !every_reason)
    {
        return verdict;
    }
    if (items == nullptr)
    {
        verdict.hidden_because |= no_selection;
        return verdict;
    }
    judge_first_item(items, verdict);
    return verdict;
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
    return hand_out(name, CLSID_tag_context_main_menu_item);
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
                        if (judge_selection(items, false).hidden_because == 0)
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
    return hand_out(flags, ECF_HASSUBCOMMANDS);
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
