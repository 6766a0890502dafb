#include "support/fake_shell_items.h"

#include "TagShellExtension/com_module.h"

#include <shlwapi.h>

namespace test_support
{
namespace
{
using Microsoft::WRL::ComPtr;

// Just enough of the shell's items for the extension: counts and display names. The array hands
// out items of its own kind, each a selection of one path.
class fake_items : public IShellItemArray, public IShellItem
{
public:
    explicit fake_items(fake_selection selection) : selection_(std::move(selection)) {}
    virtual ~fake_items() = default;

    using interfaces = tag_extension::interface_list<IShellItemArray, IShellItem>;

    IFACEMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** result) override
    {
        return *result = nullptr, E_NOTIMPL;
    }
    IFACEMETHODIMP GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void** result) override
    {
        return *result = nullptr, E_NOTIMPL;
    }
    IFACEMETHODIMP GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void** result) override
    {
        return *result = nullptr, E_NOTIMPL;
    }
    IFACEMETHODIMP GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF* attributes) override
    {
        return *attributes = 0, E_NOTIMPL;
    }
    IFACEMETHODIMP GetCount(DWORD* count) override
    {
        return *count = static_cast<DWORD>(selection_.paths.size()), S_OK;
    }
    IFACEMETHODIMP GetItemAt(DWORD index, IShellItem** item) override
    {
        *item = nullptr;
        if (selection_.fail_get_item || index >= selection_.paths.size())
        {
            return E_INVALIDARG;
        }
        return tag_extension::make_object<fake_items>(
                   fake_selection{{selection_.paths[index]}, false, selection_.fail_display_name})
            .CopyTo(item);
    }
    IFACEMETHODIMP EnumItems(IEnumShellItems** items) override { return *items = nullptr, E_NOTIMPL; }

    // As one item: the first path.
    IFACEMETHODIMP GetParent(IShellItem** parent) override { return *parent = nullptr, E_NOTIMPL; }
    IFACEMETHODIMP GetDisplayName(SIGDN, LPWSTR* name) override
    {
        *name = nullptr;
        return selection_.fail_display_name ? E_FAIL : SHStrDupW(selection_.paths[0].c_str(), name);
    }
    IFACEMETHODIMP GetAttributes(SFGAOF, SFGAOF* attributes) override { return *attributes = 0, E_NOTIMPL; }
    IFACEMETHODIMP Compare(IShellItem*, SICHINTF, int* order) override { return *order = 0, E_NOTIMPL; }

private:
    fake_selection selection_;
};
} // namespace

ComPtr<IShellItemArray> make_items(const fake_selection& selection)
{
    ComPtr<IShellItemArray> items;
    tag_extension::make_object<fake_items>(selection).As(&items);
    return items;
}

ComPtr<IShellItemArray> make_items(const std::vector<std::wstring>& paths)
{
    return make_items(fake_selection{paths});
}
} // namespace test_support
