#include "TagShellExtension/auto_tag_context_menu_item.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/selection_dispatch.h"
#include "TagShellExtension/icons/command_icons.h"

namespace tag_extension
{
IFACEMETHODIMP auto_tag_context_menu_item::GetIcon(IShellItemArray*, LPWSTR* icon) noexcept
{
    static const std::wstring path = auto_tag_icon_path();
    return duplicate_string(path, icon);
}

IFACEMETHODIMP auto_tag_context_menu_item::Invoke(IShellItemArray* items, IBindCtx*) noexcept
{
    return dispatch_for_selection(
        items, action_type::auto_tag,
        {"Failed to auto tag files: {1}", "Failed to auto tag some or all selected files..."});
}
} // namespace tag_extension
