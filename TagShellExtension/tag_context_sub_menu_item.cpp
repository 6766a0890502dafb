#include "TagShellExtension/tag_context_sub_menu_item.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/common_tags_cache.h"
#include "TagShellExtension/icons/tagged_icon_cache.h"
#include "TagShellExtension/metadata/shell_paths.h"
#include "TagShellExtension/metadata/tag_reader.h"
#include "TagShellExtension/requests/batch_dispatch.h"
#include "common/conversions.h"
#include "common/folders.h"

#include <shlwapi.h>

#include <algorithm>

namespace tag_extension
{
std::string joined_paths(const std::vector<std::wstring>& paths)
{
    std::wstring joined;
    for (const auto& path : paths)
    {
        if (!joined.empty())
        {
            joined += L", ";
        }
        joined += path;
    }
    return common::to_utf8(joined);
}

tag_context_sub_menu_item::tag_context_sub_menu_item(sub_menu_item_data data) : data_(std::move(data)) {}

IFACEMETHODIMP tag_context_sub_menu_item::GetTitle(IShellItemArray*, LPWSTR* title) noexcept
{
    return duplicate_string(data_.title, title);
}

std::wstring tag_context_sub_menu_item::icon_path(IShellItemArray* items)
{
    if (data_.cache && !tagged_.load())
    {
        std::vector<std::wstring> paths;
        std::vector<std::wstring> common_tags;
        logged_call(
            S_OK, {"Failed to obtain tags from: {}. Details: {}", "Failed to obtain tags for selected: {}"},
            [&]
            {
                common_tags = data_.cache->get(
                    [&]
                    {
                        paths = get_parsing_paths(items);
                        return get_common_tags(paths);
                    });
                return S_OK;
            },
            [&] { return joined_paths(paths); });
        if (std::find(common_tags.begin(), common_tags.end(), data_.name) != common_tags.end())
        {
            tagged_.store(true);
        }
    }

    if (tagged_.load())
    {
        if (data_.icon && !data_.icon->empty())
        {
            std::wstring generated = generate_tagged_icon(common::module_handle(), *data_.icon);
            if (!generated.empty())
            {
                return generated;
            }
        }
        return data_.icon_when_tagged.value_or(L"");
    }
    return data_.icon.value_or(L"");
}

IFACEMETHODIMP tag_context_sub_menu_item::GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept
{
    if (icon == nullptr)
    {
        return E_POINTER;
    }
    *icon = nullptr;
    return logged_call(
        E_FAIL, {"Failed to compute icon info. Details: {1}", "Failed to compute icon info for tag {}..."},
        [&] { return SHStrDupW(icon_path(items).c_str(), icon); },
        [&] { return common::to_utf8(data_.name); });
}

IFACEMETHODIMP tag_context_sub_menu_item::GetToolTip(IShellItemArray*, LPWSTR* tip) noexcept
{
    return no_text(tip);
}

IFACEMETHODIMP tag_context_sub_menu_item::GetCanonicalName(GUID* name) noexcept
{
    return hand_out(name, GUID_NULL);
}

IFACEMETHODIMP tag_context_sub_menu_item::GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state) noexcept
{
    return hand_out(state, ECS_ENABLED);
}

IFACEMETHODIMP tag_context_sub_menu_item::Invoke(IShellItemArray* items, IBindCtx*) noexcept
{
    std::vector<std::wstring> paths;
    return logged_call(
        S_FALSE, {"Failed to append tags to: {}. Details {}", "Failed to append tags for selected files..."},
        [&]
        {
            paths = get_parsing_paths(items);
            dispatch_batch_action(common::module_handle(), paths, action_type::toggle_tags, data_.name);
            return S_OK;
        },
        [&] { return joined_paths(paths); });
}

IFACEMETHODIMP tag_context_sub_menu_item::GetFlags(EXPCMDFLAGS* flags) noexcept
{
    return hand_out(flags, ECF_DEFAULT);
}

IFACEMETHODIMP tag_context_sub_menu_item::EnumSubCommands(IEnumExplorerCommand** commands) noexcept
{
    if (commands != nullptr)
    {
        *commands = nullptr;
    }
    return E_NOTIMPL;
}
} // namespace tag_extension
