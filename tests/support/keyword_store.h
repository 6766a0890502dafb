#pragma once

#include "TagShellExtension/com_module.h"

#include <propsys.h>
#include <shlwapi.h>

#include <string>
#include <vector>

namespace test_support
{
// Wine has no property store for files: a read-only one that answers System.Keywords with
// the given tags, for any key asked.
class keyword_store : public IPropertyStore
{
public:
    using interfaces = tag_extension::interface_list<IPropertyStore>;

    explicit keyword_store(std::vector<std::wstring> tags) : tags_(std::move(tags)) {}
    virtual ~keyword_store() = default;

    IFACEMETHODIMP GetCount(DWORD* count) override { return *count = 1, S_OK; }
    IFACEMETHODIMP GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetValue(REFPROPERTYKEY, PROPVARIANT* value) override
    {
        PropVariantInit(value);
        value->vt = VT_VECTOR | VT_LPWSTR;
        value->calpwstr.cElems = static_cast<ULONG>(tags_.size());
        value->calpwstr.pElems = static_cast<LPWSTR*>(CoTaskMemAlloc(sizeof(LPWSTR) * (tags_.size() + 1)));
        for (size_t i = 0; i < tags_.size(); ++i)
        {
            SHStrDupW(tags_[i].c_str(), &value->calpwstr.pElems[i]);
        }
        return S_OK;
    }
    IFACEMETHODIMP SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return STG_E_ACCESSDENIED; }
    IFACEMETHODIMP Commit() override { return STG_E_ACCESSDENIED; }

private:
    std::vector<std::wstring> tags_;
};

// Hands out a new store with those tags, as the property system would.
inline HRESULT open_keyword_store(const std::vector<std::wstring>& tags, REFIID iid, void** result)
{
    return tag_extension::make_object<keyword_store>(tags)->QueryInterface(iid, result);
}
} // namespace test_support
