#pragma once

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/module_strings.h"
#include "TagShellExtension/tag_context_sub_menu_item.h"
#include "resource.h"

// Declares a fixed entry of the cascade: its title comes from the string table; its icon and
// its action are its own, defined in its file.
#define TAG_DECLARE_FIXED_ENTRY(name, title_id)                                                              \
    class name : public tag_context_sub_menu_item                                                            \
    {                                                                                                        \
    public:                                                                                                  \
        using tag_context_sub_menu_item::tag_context_sub_menu_item;                                          \
                                                                                                             \
        IFACEMETHODIMP GetTitle(IShellItemArray*, LPWSTR* title) noexcept override                           \
        {                                                                                                    \
            return duplicate_string(module_string(title_id), title);                                         \
        }                                                                                                    \
        IFACEMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override;                      \
        IFACEMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) noexcept override;                  \
    }
