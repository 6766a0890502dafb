#pragma once

#include "TagShellExtension/com_module.h"

#include <propsys.h>

#include <string>
#include <vector>

namespace explorer_driver
{
// Wine has no property store for files: a read-only one that answers System.Keywords with the
// given tags and any other property as empty, as a real store does.
class keyword_store : public IPropertyStore
{
public:
    using interfaces = tag_extension::interface_list<IPropertyStore>;

    explicit keyword_store(std::vector<std::wstring> tags) : tags_(std::move(tags)) {}
    virtual ~keyword_store() = default;

    IFACEMETHODIMP GetCount(DWORD* count) noexcept override;
    IFACEMETHODIMP GetAt(DWORD index, PROPERTYKEY* key) noexcept override;
    IFACEMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* value) noexcept override;
    IFACEMETHODIMP SetValue(REFPROPERTYKEY, REFPROPVARIANT) noexcept override { return STG_E_ACCESSDENIED; }
    IFACEMETHODIMP Commit() noexcept override { return STG_E_ACCESSDENIED; }

private:
    std::vector<std::wstring> tags_;
};

// Hands out a new store with those tags, as the property system would.
HRESULT open_keyword_store(std::vector<std::wstring> tags, REFIID iid, void** result) noexcept;
} // namespace explorer_driver
