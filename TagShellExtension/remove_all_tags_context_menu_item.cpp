#include "TagShellExtension/remove_all_tags_context_menu_item.h"

#include "TagShellExtension/selection_dispatch.h"
#include "TagShellExtension/module_strings.h"
#include "resource.h"

namespace tag_extension
{
IFACEMETHODIMP remove_all_tags_context_menu_item::GetTitle(IShellItemArray*, LPWSTR* title) noexcept
{
    static const std::wstring text = load_module_string(IDS_REMOVE_ALL_TAGS);
    return duplicate_string(text, title);
}

IFACEMETHODIMP remove_all_tags_context_menu_item::GetIcon(IShellItemArray*, LPWSTR* icon) noexcept
{
    return no_text(icon);
}

IFACEMETHODIMP remove_all_tags_context_menu_item::Invoke(IShellItemArray* items, IBindCtx*) noexcept
{
    return dispatch_for_selection(
        items, action_type::remove_tags,
        {"Failed to remove tags for files: {1}", "Failed to remove tags for selected files..."});
}
} // namespace tag_extension
