#pragma once

#include "TagShellExtension/com_module.h"

#include <shobjidl.h>

#include <string>

namespace tag_extension
{
// The top-level "Tag" entry: shown for supported selections, opens the cascade.
class tag_context_main_menu_item : public IExplorerCommand, public IObjectWithSite
{
public:
    using interfaces = interface_list<IExplorerCommand, IObjectWithSite>;

    tag_context_main_menu_item() = default;
    virtual ~tag_context_main_menu_item() = default;
    tag_context_main_menu_item(const tag_context_main_menu_item&) = delete;
    tag_context_main_menu_item& operator=(const tag_context_main_menu_item&) = delete;

    // IExplorerCommand
    IFACEMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* title) noexcept override;
    IFACEMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override;
    IFACEMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* tip) noexcept override;
    IFACEMETHODIMP GetCanonicalName(GUID* name) noexcept override;
    IFACEMETHODIMP GetState(IShellItemArray* items, BOOL ok_to_be_slow, EXPCMDSTATE* state) noexcept override;
    IFACEMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) noexcept override;
    IFACEMETHODIMP GetFlags(EXPCMDFLAGS* flags) noexcept override;
    IFACEMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) noexcept override;

    // IObjectWithSite
    IFACEMETHODIMP SetSite(IUnknown* site) noexcept override;
    IFACEMETHODIMP GetSite(REFIID iid, void** site) noexcept override;

private:
    Microsoft::WRL::ComPtr<IUnknown> site_;
};

// Why the Tag command is hidden for a selection, one bit each.
enum hidden_reason : unsigned
{
    owning_app_disabled = 1u << 0,
    settings_unreadable = 1u << 1,
    menu_switched_off = 1u << 2,
    no_selection = 1u << 3,
    first_item_unnamed = 1u << 4, // its parsing path cannot be obtained
    unsupported_type = 1u << 5,
    volume_without_extended_attributes = 1u << 6,
};

// What GetState decides about a selection, and what it looked at.
struct tag_command_verdict
{
    unsigned hidden_because = 0; // hidden_reason bits; none: the command is shown
    std::wstring first_item;     // the first item's parsing path, when it was looked at
    bool first_item_is_folder = false;
    std::string extension; // lower-case UTF-8, as looked up; empty for a folder
};

// GetState's decision: the settings first, then the first selected item. Explorer needs only
// the first reason; `every_reason` looks further, also at the item when the settings already
// hide the command. Throws when the first item cannot be obtained.
tag_command_verdict judge_selection(IShellItemArray* items, bool every_reason);

// "Tag", or "failed to load" when the string table lacks it; read once per process.
const std::wstring& base_title();
} // namespace tag_extension
