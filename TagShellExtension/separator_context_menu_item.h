#pragma once

#include "TagShellExtension/tag_context_sub_menu_item.h"

namespace tag_extension
{
// The line between the tag entries and "Remove all tags"; Explorer never invokes it.
class separator_context_menu_item : public tag_context_sub_menu_item
{
public:
    using tag_context_sub_menu_item::tag_context_sub_menu_item;

    IFACEMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* title) noexcept override;
    IFACEMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override;
    IFACEMETHODIMP GetState(IShellItemArray* items, BOOL ok_to_be_slow, EXPCMDSTATE* state) noexcept override;
    IFACEMETHODIMP GetFlags(EXPCMDFLAGS* flags) noexcept override;
};
} // namespace tag_extension
