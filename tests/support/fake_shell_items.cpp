#include "support/fake_shell_items.h"

#include <shlwapi.h>

namespace test_support
{
namespace
{
using Microsoft::WRL::ComPtr;

// Just enough of the shell's items for the extension: display names and counts.
class fake_item final : public IShellItem
{
public:
    fake_item(std::wstring path, bool fail_name) : path_(std::move(path)), fail_name_(fail_name) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) override
    {
        static const QITAB table[] = {QITABENT(fake_item, IShellItem), {}};
        return QISearch(this, table, iid, result);
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const long remaining = InterlockedDecrement(&references_);
        if (remaining == 0)
        {
            delete this;
        }
        return static_cast<ULONG>(remaining);
    }
    IFACEMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** result) override
    {
        *result = nullptr;
        return E_NOTIMPL;
    }
    IFACEMETHODIMP GetParent(IShellItem** parent) override
    {
        *parent = nullptr;
        return E_NOTIMPL;
    }
    IFACEMETHODIMP GetDisplayName(SIGDN, LPWSTR* name) override
    {
        *name = nullptr;
        return fail_name_ ? E_FAIL : SHStrDupW(path_.c_str(), name);
    }
    IFACEMETHODIMP GetAttributes(SFGAOF, SFGAOF* attributes) override
    {
        *attributes = 0;
        return E_NOTIMPL;
    }
    IFACEMETHODIMP Compare(IShellItem*, SICHINTF, int* order) override
    {
        *order = 0;
        return E_NOTIMPL;
    }

private:
    long references_ = 0;
    std::wstring path_;
    bool fail_name_;
};

class fake_item_array final : public IShellItemArray
{
public:
    explicit fake_item_array(fake_selection selection) : selection_(std::move(selection)) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) override
    {
        static const QITAB table[] = {QITABENT(fake_item_array, IShellItemArray), {}};
        return QISearch(this, table, iid, result);
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const long remaining = InterlockedDecrement(&references_);
        if (remaining == 0)
        {
            delete this;
        }
        return static_cast<ULONG>(remaining);
    }
    IFACEMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** result) override
    {
        *result = nullptr;
        return E_NOTIMPL;
    }
    IFACEMETHODIMP GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void** result) override
    {
        *result = nullptr;
        return E_NOTIMPL;
    }
    IFACEMETHODIMP GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void** result) override
    {
        *result = nullptr;
        return E_NOTIMPL;
    }
    IFACEMETHODIMP GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF* attributes) override
    {
        *attributes = 0;
        return E_NOTIMPL;
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
        *item = new fake_item(selection_.paths[index], selection_.fail_display_name);
        (*item)->AddRef();
        return S_OK;
    }
    IFACEMETHODIMP EnumItems(IEnumShellItems** items) override
    {
        *items = nullptr;
        return E_NOTIMPL;
    }

private:
    long references_ = 0;
    fake_selection selection_;
};
} // namespace

ComPtr<IShellItemArray> make_items(const fake_selection& selection)
{
    return ComPtr<IShellItemArray>(new fake_item_array(selection));
}

ComPtr<IShellItemArray> make_items(const std::vector<std::wstring>& paths)
{
    return make_items(fake_selection{paths});
}
} // namespace test_support
