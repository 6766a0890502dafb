// Explains what Explorer will show for a selection. The reasons come from the product's own
// decisions (the functions GetState and the tag entries use), never from a copy of them.
#include "commands.h"
#include "output.h"

#include "TagShellExtension/metadata/shell_paths.h"
#include "TagShellExtension/metadata/tag_reader.h"
#include "TagShellExtension/supported_item_types.h"
#include "TagShellExtension/tag_context_main_menu_item.h"
#include "TagShellExtension/tag_context_sub_menu_collection.h"
#include "all_tags_settings/settings_file.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "high_level_settings/settings_file.h"
#include "common/windows_paths.h"

#include <algorithm>
#include <optional>

namespace tag_menu_host
{
namespace
{
using namespace tag_extension;

bool contains(const std::vector<std::wstring>& list, const std::wstring& text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

std::wstring joined(const std::vector<std::wstring>& texts)
{
    std::wstring text;
    for (const auto& piece : texts)
    {
        text += (text.empty() ? L"" : L", ") + piece;
    }
    return text;
}

std::wstring first_item_text(const tag_command_verdict& verdict)
{
    const std::wstring item = L"the first item, " + verdict.first_item + L", ";
    if (verdict.first_item_is_folder)
    {
        return item + L"is a folder";
    }
    return verdict.extension.empty()
               ? item + L"is a file without extension"
               : item + L"is a \"" + common::to_wide(verdict.extension.c_str()) + L"\" file";
}

std::vector<std::wstring> hidden_reasons(const tag_command_verdict& verdict)
{
    const std::wstring settings = L" in " + high_level_settings::suite_settings().file_path();
    const std::wstring owner = common::to_wide(high_level_settings::owning_app_id);
    const std::pair<unsigned, std::wstring> texts[] = {
        {settings_unreadable, L"the suite settings cannot be read" + settings},
        {owning_app_disabled, L"the suite settings disable the owning app, \"" + owner + L"\"" + settings},
        {menu_switched_off, L"\"general.showTagContextMenu\" of \"" + owner + L"\" is off" + settings},
        {no_selection, L"nothing is selected"},
        {first_item_unnamed, L"the first item cannot give its path"},
        {unsupported_type, first_item_text(verdict) + L"; the command is shown only for folders and files of "
                                                      L"supported types"},
        {volume_without_extended_attributes,
         first_item_text(verdict) + L", and its volume " + common::volume_root(verdict.first_item) +
             L" does not report extended-attribute support, which " +
             (verdict.first_item_is_folder ? L"folders need" : L"files of this type need")},
    };
    std::vector<std::wstring> reasons;
    unsigned explained = 0;
    for (const auto& [bit, text] : texts)
    {
        explained |= bit;
        if ((verdict.hidden_because & bit) != 0)
        {
            reasons.push_back(text);
        }
    }
    if ((verdict.hidden_because & ~explained) != 0)
    {
        reasons.push_back(L"reasons this host cannot name: " +
                          hex(static_cast<HRESULT>(verdict.hidden_because & ~explained)));
    }
    return reasons;
}

// Empty when the selection's tags are read, else why none of them is.
std::wstring unread_text(const std::vector<std::wstring>& paths)
{
    const auto unread = why_tags_are_not_read(paths);
    switch (unread.reason)
    {
    case unread_selection::none:
        return {};
    case unread_selection::no_items:
        return L"nothing is selected";
    case unread_selection::too_many_items:
        return std::to_wstring(paths.size()) + L" items are selected; tags are read for at most " +
               std::to_wstring(common_tags_selection_limit - 1);
    case unread_selection::item_not_local:
        return paths[unread.item] + L" is not available locally (offline or in the cloud)";
    }
    return L"the selection's tags are not read";
}

void explain_entries(IShellItemArray* items)
{
    all_tags_settings::settings_file definitions;
    if (!definitions.load(false))
    {
        print(L"Tag entries: none; the cascade shows \"Failed to load tags\": the tag definitions cannot be "
              L"read: " +
              definitions.file_path());
        return;
    }
    const auto& tags = definitions.tags();
    const auto paths = get_parsing_paths(items);
    const auto common_tags = get_common_tags(paths);
    const std::wstring unread = unread_text(paths);
    print(L"Tag entries (check-marked when every selected item carries the tag):");
    if (!unread.empty())
    {
        print(L"  none is check-marked: " + unread);
    }
    std::vector<std::optional<std::vector<std::wstring>>> item_tags(paths.size());
    for (size_t i = 0; i < std::min(tags.size(), most_tags_listed); ++i)
    {
        const std::wstring entry = L"  \"" + tags[i].name + L"\": ";
        if (contains(common_tags, tags[i].name))
        {
            print(entry + L"check-marked");
            continue;
        }
        std::vector<std::wstring> lacking;
        for (size_t item = 0; item < paths.size() && unread.empty(); ++item)
        {
            if (!item_tags[item])
            {
                item_tags[item] = get_item_tags(paths[item]);
            }
            if (!contains(*item_tags[item], tags[i].name))
            {
                lacking.push_back(paths[item]);
            }
        }
        if (!unread.empty() || lacking.empty())
        {
            print(entry + L"not check-marked");
        }
        else
        {
            print(entry + L"not check-marked: " +
                  (lacking.size() == paths.size()
                       ? L"no selected item carries it"
                       : joined(lacking) + (lacking.size() == 1 ? L" lacks it" : L" lack it")));
        }
    }
    if (tags.size() > most_tags_listed)
    {
        print(L"  " + std::to_wstring(tags.size() - most_tags_listed) +
              L" more tags are not in the cascade, which lists the first " +
              std::to_wstring(most_tags_listed));
    }
}
} // namespace

int why(const extension& dll, IExplorerCommand* command, IShellItemArray* items)
{
    EXPCMDSTATE state = ECS_HIDDEN;
    const HRESULT hr = command->GetState(items, TRUE, &state);
    if (FAILED(hr))
    {
        return failure(L"GetState failed: " + hex(hr));
    }
    // The linked code finds Content\ and the default settings beside the DLL, as the DLL does.
    common::set_module_handle(dll.module);
    tag_command_verdict verdict;
    try
    {
        verdict = judge_selection(items, true);
    }
    catch (const std::exception& error)
    {
        return failure(L"the selection cannot be read: " + common::to_wide(error.what()));
    }

    const auto reasons = hidden_reasons(verdict);
    if (reasons.empty())
    {
        print(L"Tag command: shown; " + first_item_text(verdict));
    }
    else
    {
        print(L"Tag command: hidden, because:");
        for (const auto& reason : reasons)
        {
            print(L"  - " + reason);
        }
    }
    if (reasons.empty() == ((state & ECS_HIDDEN) != 0))
    {
        return failure(std::wstring(L"but the DLL answers ") +
                       ((state & ECS_HIDDEN) != 0 ? L"hidden" : L"shown") +
                       L": it is not built from the code this host links");
    }
    if (!reasons.empty())
    {
        print(L"Tag entries: none, as the command is hidden");
        return exit_done;
    }
    try
    {
        explain_entries(items);
    }
    catch (const std::exception& error)
    {
        return failure(L"the selection's tags cannot be read: " + common::to_wide(error.what()));
    }
    return exit_done;
}
} // namespace tag_menu_host
