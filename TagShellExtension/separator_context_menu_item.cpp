#include "TagShellExtension/separator_context_menu_item.h"

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
    if (state == nullptr)
    {
        return E_POINTER;
    }
    *state = ECS_DISABLED;
    return S_OK;
}

IFACEMETHODIMP separator_context_menu_item::GetFlags(EXPCMDFLAGS* flags) noexcept
{
    if (flags == nullptr)
    {
        return E_POINTER;
    }
    *flags = ECF_ISSEPARATOR;
    return S_OK;
}
} // namespace tag_extension
