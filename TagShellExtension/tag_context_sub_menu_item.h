#pragma once

#include "TagShellExtension/com_module.h"

#include <shobjidl.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace all_tags_settings
{
class settings_file;
}

namespace tag_extension
{
class common_tags_cache;

// What the cascade hands each entry when it creates it.
struct sub_menu_item_data
{
    Microsoft::WRL::ComPtr<IUnknown> site;
    std::shared_ptr<all_tags_settings::settings_file> tag_definitions;
    std::wstring title;
    std::wstring name;
    std::optional<std::wstring> icon;
    std::optional<std::wstring> icon_when_tagged;
    std::shared_ptr<common_tags_cache> cache;
};

// One user tag in the cascade; also the base of the fixed entries, which override what differs.
class tag_context_sub_menu_item : public IExplorerCommand
{
public:
    using interfaces = interface_list<IExplorerCommand>;

    explicit tag_context_sub_menu_item(sub_menu_item_data data = {});
    virtual ~tag_context_sub_menu_item() = default;
    tag_context_sub_menu_item(const tag_context_sub_menu_item&) = delete;
    tag_context_sub_menu_item& operator=(const tag_context_sub_menu_item&) = delete;

    IFACEMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* title) noexcept override;
    IFACEMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) noexcept override;
    IFACEMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* tip) noexcept override;
    IFACEMETHODIMP GetCanonicalName(GUID* name) noexcept override;
    IFACEMETHODIMP GetState(IShellItemArray* items, BOOL ok_to_be_slow, EXPCMDSTATE* state) noexcept override;
    IFACEMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) noexcept override;
    IFACEMETHODIMP GetFlags(EXPCMDFLAGS* flags) noexcept override;
    IFACEMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) noexcept override;

protected:
    const sub_menu_item_data& data() const { return data_; }

private:
    std::wstring icon_path(IShellItemArray* items);

    sub_menu_item_data data_;
    std::atomic<bool> tagged_{false};
};

// The selection's paths joined by ", " in UTF-8, for log lines.
std::string joined_paths(const std::vector<std::wstring>& paths);
} // namespace tag_extension
