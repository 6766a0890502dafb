#include "TagShellExtension/separator_context_menu_item.h"

#include "TagShellExtension/com_call.h"

namespace tag_extension
{
IFACEMETHODIMP separator_context_menu_item::GetTitle(IShellItemArray*, LPWSTR* title) noexcept
{
    if (title != nullptr)
    {
        *title = nullptr;
    }
    return S_FALSE;
}

IFACEMETHODIMP separator_context_menu_item::GetIcon(IShellItemArray*, LPWSTR* icon) noexcept
{
    return no_text(icon);
}

IFACEMETHODIMP separator_context_menu_item::GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state) noexcept
{
    return hand_out(state, ECS_DISABLED);
}

IFACEMETHODIMP separator_context_menu_item::GetFlags(EXPCMDFLAGS* flags) noexcept
{
    return hand_out(flags, ECF_ISSEPARATOR);
}
} // namespace tag_extension
