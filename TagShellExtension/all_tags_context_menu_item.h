#pragma once

#include "TagShellExtension/tag_context_sub_menu_item.h"

namespace tag_extension
{
// "All tags...": opens the tag manager on the selection, for the tags beyond the first nine.
class all_tags_context_menu_item : public tag_context_sub_menu_item
{
public:
    using tag_context_sub_menu_item::tag_context_sub_menu_item;

    IFACEMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* title) noexcept override;
    IFACEMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override;
    IFACEMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) noexcept override;
};
} // namespace tag_extension
