#pragma once

#include "TagShellExtension/tag_context_sub_menu_item.h"

namespace tag_extension
{
// "Recognize faces": hands the selection's images to the batch processor once the user has
// enabled and consented to people recognition; until then opens its settings page.
class recognize_faces_context_menu_item : public tag_context_sub_menu_item
{
public:
    using tag_context_sub_menu_item::tag_context_sub_menu_item;

    IFACEMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* title) noexcept override;
    IFACEMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override;
    IFACEMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) noexcept override;
};
} // namespace tag_extension
