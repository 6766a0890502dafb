#include "TagShellExtension/tag_context_sub_menu_collection.h"

#include "TagShellExtension/all_tags_context_menu_item.h"
#include "TagShellExtension/auto_tag_context_menu_item.h"
#include "TagShellExtension/common_tags_cache.h"
#include "TagShellExtension/icons/command_icons.h"
#include "TagShellExtension/installed_memory.h"
#include "TagShellExtension/recognize_faces_context_menu_item.h"
#include "TagShellExtension/remove_all_tags_context_menu_item.h"
#include "TagShellExtension/separator_context_menu_item.h"
#include "TagShellExtension/tag_context_sub_menu_item.h"
#include "all_tags_settings/settings_file.h"
#include "common/logger.h"
#include "high_level_settings/settings_file.h"

#include <fmt/xchar.h>

#include <algorithm>
#include <exception>
#include <mutex>

namespace tag_extension
{
namespace
{
constexpr double auto_tag_memory_threshold_gib = 6.0;

struct tag_definitions_state
{
    std::mutex lock;
    std::shared_ptr<all_tags_settings::settings_file> file;
};

tag_definitions_state& tag_definitions()
{
    static tag_definitions_state state;
    return state;
}

// An entry that cannot be made is left out; the rest of the cascade still appears.
template <typename Entry>
void add_entry(std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>>& commands, sub_menu_item_data data)
{
    try
    {
        commands.emplace_back(make_object<Entry>(std::move(data)));
    }
    catch (const std::bad_alloc&)
    {
    }
}
} // namespace

void tag_context_sub_menu_collection::fill(const Microsoft::WRL::ComPtr<IUnknown>& site) noexcept
{
    try
    {
        site_ = site;
        std::vector<all_tags_settings::tag_definition> tags;
        {
            auto& definitions = tag_definitions();
            std::lock_guard guard(definitions.lock);
            if (!definitions.file)
            {
                definitions.file = std::make_shared<all_tags_settings::settings_file>();
            }
            tag_definitions_ = definitions.file;
            if (!tag_definitions_->load(false))
            {
                sub_menu_item_data placeholder;
                placeholder.site = site_;
                placeholder.title = L"Failed to load tags";
                placeholder.icon = L"";
                placeholder.icon_when_tagged = L"";
                add_entry<tag_context_sub_menu_item>(commands_, std::move(placeholder));
                position_ = 0;
                return;
            }
            // Only what the cascade shows: a file may define thousands of tags.
            const auto& all = tag_definitions_->tags();
            tags.assign(all.begin(),
                        all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), most_tags_listed)));
        }

        cache_ = std::make_shared<common_tags_cache>();
        auto& settings = high_level_settings::suite_settings();
        const sub_menu_item_data shared{site_, tag_definitions_, {}, {}, {}, {}, {}};

        if (settings.show_auto_tag_context_menu() && installed_memory_gib() >= auto_tag_memory_threshold_gib)
        {
            add_entry<auto_tag_context_menu_item>(commands_, shared);
        }
        if (settings.show_recognize_faces_context_menu())
        {
            add_entry<recognize_faces_context_menu_item>(commands_, shared);
        }
        for (const auto& tag : tags)
        {
            add_entry<tag_context_sub_menu_item>(commands_,
                                                 {site_, tag_definitions_, fmt::format(L"{}", tag.name),
                                                  tag.name, resolve_icon_path(tag.icon_not_tagged),
                                                  resolve_icon_path(tag.icon_when_tagged), cache_});
        }
        add_entry<all_tags_context_menu_item>(commands_, shared);
        add_entry<separator_context_menu_item>(commands_, {});
        add_entry<remove_all_tags_context_menu_item>(commands_, {});
    }
    catch (const std::exception& error)
    {
        common::log(common::log_level::critical,
                    "Unable to initialize tag_context_sub_menu_collection. Details: {}", error.what());
    }
    catch (...)
    {
        common::log(common::log_level::critical, "Unable to initialize tag_context_sub_menu_collection");
    }
    position_ = 0;
}

IFACEMETHODIMP tag_context_sub_menu_collection::Next(ULONG wanted, IExplorerCommand** commands,
                                                     ULONG* fetched) noexcept
{
    if (fetched != nullptr)
    {
        *fetched = 0;
    }
    if (wanted > 0 && commands == nullptr)
    {
        return E_POINTER;
    }
    ULONG handed_out = 0;
    while (handed_out < wanted && position_ < commands_.size())
    {
        // Each entry into its own slot.
        if (FAILED(commands_[position_].CopyTo(&commands[handed_out])))
        {
            // Take back what this call handed out so nothing leaks and the caller may retry.
            for (ULONG i = 0; i < handed_out; ++i)
            {
                commands[i]->Release();
                commands[i] = nullptr;
            }
            position_ -= handed_out;
            return E_FAIL;
        }
        ++handed_out;
        ++position_;
    }
    if (fetched != nullptr)
    {
        *fetched = handed_out;
    }
    return handed_out == wanted ? S_OK : S_FALSE;
}

IFACEMETHODIMP tag_context_sub_menu_collection::Skip(ULONG) noexcept
{
    return E_NOTIMPL;
}

IFACEMETHODIMP tag_context_sub_menu_collection::Reset() noexcept
{
    position_ = 0;
    return S_OK;
}

IFACEMETHODIMP tag_context_sub_menu_collection::Clone(IEnumExplorerCommand** copy) noexcept
{
    if (copy != nullptr)
    {
        *copy = nullptr;
    }
    return E_NOTIMPL;
}
} // namespace tag_extension
