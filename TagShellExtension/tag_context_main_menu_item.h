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

// Whether the Tag command is offered for this selection: the first item decides.
bool is_supported_by_context_menu(IShellItemArray* items);

// "Tag", or "failed to load" when the string table lacks it; read once per process.
const std::wstring& base_title();
} // namespace tag_extension
