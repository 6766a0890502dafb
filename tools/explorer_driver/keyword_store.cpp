#include "tools/explorer_driver/keyword_store.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/metadata/tag_reader.h"

#include <shlwapi.h>

namespace explorer_driver
{
using tag_extension::keywords_key;

IFACEMETHODIMP keyword_store::GetCount(DWORD* count) noexcept
{
    return tag_extension::hand_out(count, 1);
}

IFACEMETHODIMP keyword_store::GetAt(DWORD index, PROPERTYKEY* key) noexcept
{
    return index == 0 ? tag_extension::hand_out(key, keywords_key) : E_INVALIDARG;
}

IFACEMETHODIMP keyword_store::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) noexcept
{
    if (value == nullptr)
    {
        return E_POINTER;
    }
    PropVariantInit(value);
    if (key.fmtid != keywords_key.fmtid || key.pid != keywords_key.pid)
    {
        return S_OK; // an absent property is VT_EMPTY
    }
    // Laid out as PropVariantClear frees it: every piece from CoTaskMemAlloc.
    const auto count = static_cast<ULONG>(tags_.size());
    auto* elements = static_cast<LPWSTR*>(CoTaskMemAlloc(sizeof(LPWSTR) * (count == 0 ? 1 : count)));
    if (elements == nullptr)
    {
        return E_OUTOFMEMORY;
    }
    value->vt = VT_VECTOR | VT_LPWSTR;
    value->calpwstr.pElems = elements;
    for (ULONG i = 0; i < count; ++i, ++value->calpwstr.cElems)
    {
        if (FAILED(SHStrDupW(tags_[i].c_str(), &elements[i])))
        {
            PropVariantClear(value);
            return E_OUTOFMEMORY;
        }
    }
    return S_OK;
}

HRESULT open_keyword_store(std::vector<std::wstring> tags, REFIID iid, void** result) noexcept
{
    try
    {
        return tag_extension::make_object<keyword_store>(std::move(tags))->QueryInterface(iid, result);
    }
    catch (...)
    {
        return result != nullptr ? (*result = nullptr, E_OUTOFMEMORY) : E_POINTER;
    }
}
} // namespace explorer_driver
