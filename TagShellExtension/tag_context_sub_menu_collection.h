#pragma once

#include "TagShellExtension/com_module.h"

#include <shobjidl.h>

#include <memory>
#include <vector>

namespace all_tags_settings
{
class settings_file;
}

namespace tag_extension
{
class common_tags_cache;

// The cascade lists the first this many tags of the tag definitions, in file order.
inline constexpr size_t most_tags_listed = 9;

// The cascade of the Tag command, made afresh each time Explorer opens it.
class tag_context_sub_menu_collection : public IEnumExplorerCommand
{
public:
    using interfaces = interface_list<IEnumExplorerCommand>;

    tag_context_sub_menu_collection() = default;
    virtual ~tag_context_sub_menu_collection() = default;
    tag_context_sub_menu_collection(const tag_context_sub_menu_collection&) = delete;
    tag_context_sub_menu_collection& operator=(const tag_context_sub_menu_collection&) = delete;

    // Decides and creates the entries. Never throws: whatever was added before a failure stays.
    void fill(const Microsoft::WRL::ComPtr<IUnknown>& site) noexcept;

    IFACEMETHODIMP Next(ULONG wanted, IExplorerCommand** commands, ULONG* fetched) noexcept override;
    IFACEMETHODIMP Skip(ULONG count) noexcept override;
    IFACEMETHODIMP Reset() noexcept override;
    IFACEMETHODIMP Clone(IEnumExplorerCommand** copy) noexcept override;

private:
    std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>> commands_;
    size_t position_ = 0;
    Microsoft::WRL::ComPtr<IUnknown> site_;
    std::shared_ptr<all_tags_settings::settings_file> tag_definitions_;
    std::shared_ptr<common_tags_cache> cache_;
};
} // namespace tag_extension
