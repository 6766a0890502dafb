#include "support/fake_shell_items.h"

#include "TagShellExtension/com_module.h"

#include <shlwapi.h>

namespace test_support
{
namespace
{
using Microsoft::WRL::ComPtr;

// Just enough of the shell's items for the extension: display names and counts.
class fake_item : public IShellItem
{
public:
    fake_item(std::wstring path, bool fail_name) : path_(std::move(path)), fail_name_(fail_name) {}
    virtual ~fake_item() = default;

    using interfaces = tag_extension::interface_list<IShellItem>;

    IFACEMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** result) override
    {
        return *result = nullptr, E_NOTIMPL;
    }
    IFACEMETHODIMP GetParent(IShellItem** parent) override { return *parent = nullptr, E_NOTIMPL; }
    IFACEMETHODIMP GetDisplayName(SIGDN, LPWSTR* name) override
    {
        *name = nullptr;
        return fail_name_ ? E_FAIL : SHStrDupW(path_.c_str(), name);
    }
    IFACEMETHODIMP GetAttributes(SFGAOF, SFGAOF* attributes) override { return *attributes = 0, E_NOTIMPL; }
    IFACEMETHODIMP Compare(IShellItem*, SICHINTF, int* order) override { return *order = 0, E_NOTIMPL; }

private:
    std::wstring path_;
    bool fail_name_;
};

class fake_item_array : public IShellItemArray
{
public:
    explicit fake_item_array(fake_selection selection) : selection_(std::move(selection)) {}
    virtual ~fake_item_array() = default;

    using interfaces = tag_extension::interface_list<IShellItemArray>;

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
        *count = static_cast<DWORD>(selection_.paths.size());
        return S_OK;
    }
    IFACEMETHODIMP GetItemAt(DWORD index, IShellItem** item) override
    {
        *item = nullptr;
        if (selection_.fail_get_item || index >= selection_.paths.size())
        {
            return E_INVALIDARG;
        }
        return tag_extension::make_object<fake_item>(selection_.paths[index], selection_.fail_display_name)
            .CopyTo(item);
    }
    IFACEMETHODIMP EnumItems(IEnumShellItems** items) override { return *items = nullptr, E_NOTIMPL; }

private:
    fake_selection selection_;
};
} // namespace

ComPtr<IShellItemArray> make_items(const fake_selection& selection)
{
    ComPtr<IShellItemArray> items;
    tag_extension::make_object<fake_item_array>(selection).As(&items);
    return items;
}

ComPtr<IShellItemArray> make_items(const std::vector<std::wstring>& paths)
{
    return make_items(fake_selection{paths});
}
} // namespace test_support
