#include "TagShellExtension/remove_all_tags_context_menu_item.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/selection_dispatch.h"

namespace tag_extension
{
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
