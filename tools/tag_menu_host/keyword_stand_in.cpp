#include "keyword_stand_in.h"

#include "host_files.h"
#include "tools/explorer_driver/import_patch.h"
#include "tools/explorer_driver/keyword_store.h"

#include <objbase.h>
#include <propidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include <atomic>
#include <type_traits>
#include <utility>

namespace tag_menu_host
{
namespace
{
// Asked of a property-set storage to recognise one of ours among real ones.
constexpr IID keyword_storage_marker = {
    0x6f1d9a52, 0x3c4e, 0x4b7a, {0x9e, 0x21, 0x5d, 0x8c, 0x0b, 0x47, 0xa3, 0x16}};

using get_store_function = HRESULT(WINAPI*)(PCWSTR, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID, void**);
using open_storage_function = HRESULT(WINAPI*)(const WCHAR*, DWORD, DWORD, DWORD, STGOPTIONS*,
                                               PSECURITY_DESCRIPTOR, REFIID, void**);
using store_from_storage_function = HRESULT(WINAPI*)(IPropertySetStorage*, DWORD, REFIID, void**);

struct stand_in_state
{
    std::vector<keyword_entry> entries;
    get_store_function get_store = nullptr;
    open_storage_function open_storage = nullptr;
    store_from_storage_function store_from_storage = nullptr;
};

stand_in_state& state()
{
    static stand_in_state instance;
    return instance;
}

// One spelling per item: "C:\Folder\" names the same item as "C:\Folder"; a root keeps its separator.
std::wstring comparable_path(std::wstring_view path)
{
    std::wstring full = absolute_path(path);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
    {
        full.pop_back();
    }
    return full;
}

template <typename Interface> class com_base : public Interface
{
public:
    virtual ~com_base() = default;
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(++references_); }
    IFACEMETHODIMP_(ULONG) Release() noexcept override
    {
        const long left = --references_;
        if (left == 0)
        {
            delete this;
        }
        return static_cast<ULONG>(left);
    }

protected:
    HRESULT answer(REFIID iid, REFIID own, void** result) noexcept
    {
        if (result == nullptr)
        {
            return E_POINTER;
        }
        *result = nullptr;
        if (iid != IID_IUnknown && iid != own)
        {
            return E_NOINTERFACE;
        }
        *result = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }

private:
    std::atomic<long> references_{1};
};

// What StgOpenStorageEx hands out for a folder; only the store made from it is ever read.
class keyword_storage final : public com_base<IPropertySetStorage>
{
public:
    explicit keyword_storage(std::vector<std::wstring> tags) : tags_(std::move(tags)) {}

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept override
    {
        if (result != nullptr && iid == keyword_storage_marker)
        {
            *result = this; // not referenced: the caller holds one already
            return S_OK;
        }
        return answer(iid, IID_IPropertySetStorage, result);
    }
    IFACEMETHODIMP Create(REFFMTID, const CLSID*, DWORD, DWORD, IPropertyStorage** storage) noexcept override
    {
        return refuse(storage);
    }
    IFACEMETHODIMP Open(REFFMTID, DWORD, IPropertyStorage** storage) noexcept override
    {
        return refuse(storage);
    }
    IFACEMETHODIMP Delete(REFFMTID) noexcept override { return STG_E_ACCESSDENIED; }
    IFACEMETHODIMP Enum(IEnumSTATPROPSETSTG** sets) noexcept override
    {
        if (sets != nullptr)
        {
            *sets = nullptr;
        }
        return E_NOTIMPL;
    }

    const std::vector<std::wstring>& tags() const { return tags_; }

private:
    static HRESULT refuse(IPropertyStorage** storage) noexcept
    {
        if (storage != nullptr)
        {
            *storage = nullptr;
        }
        return STG_E_ACCESSDENIED;
    }

    std::vector<std::wstring> tags_;
};

HRESULT WINAPI stand_in_get_store(PCWSTR path, IBindCtx* bind_context, GETPROPERTYSTOREFLAGS flags,
                                  REFIID iid, void** result) noexcept
{
    try
    {
        const auto tags = path != nullptr ? find_keywords(state().entries, path) : std::nullopt;
        if (!tags)
        {
            return state().get_store(path, bind_context, flags, iid, result);
        }
        if (result == nullptr)
        {
            return E_POINTER;
        }
        *result = nullptr;
        if ((flags & GPS_READWRITE) != 0)
        {
            return STG_E_ACCESSDENIED;
        }
        return explorer_driver::open_keyword_store(*tags, iid, result);
    }
    catch (...)
    {
        return E_OUTOFMEMORY;
    }
}

HRESULT WINAPI stand_in_open_storage(const WCHAR* path, DWORD mode, DWORD format, DWORD attributes,
                                     STGOPTIONS* options, PSECURITY_DESCRIPTOR security, REFIID iid,
                                     void** result) noexcept
{
    try
    {
        const auto tags = path != nullptr ? find_keywords(state().entries, path) : std::nullopt;
        if (!tags || iid != IID_IPropertySetStorage)
        {
            return state().open_storage(path, mode, format, attributes, options, security, iid, result);
        }
        if (result == nullptr)
        {
            return E_POINTER;
        }
        *result = nullptr;
        if ((mode & (STGM_WRITE | STGM_READWRITE)) != 0)
        {
            return STG_E_ACCESSDENIED;
        }
        auto* storage = new keyword_storage(*tags);
        const HRESULT hr = storage->QueryInterface(iid, result);
        storage->Release();
        return hr;
    }
    catch (...)
    {
        return E_OUTOFMEMORY;
    }
}

HRESULT WINAPI stand_in_store_from_storage(IPropertySetStorage* storage, DWORD mode, REFIID iid,
                                           void** result) noexcept
{
    void* ours = nullptr;
    if (storage == nullptr || FAILED(storage->QueryInterface(keyword_storage_marker, &ours)) ||
        ours == nullptr)
    {
        return state().store_from_storage(storage, mode, iid, result);
    }
    if (result == nullptr)
    {
        return E_POINTER;
    }
    *result = nullptr;
    if ((mode & (STGM_WRITE | STGM_READWRITE)) != 0)
    {
        return STG_E_ACCESSDENIED;
    }
    try
    {
        return explorer_driver::open_keyword_store(static_cast<keyword_storage*>(ours)->tags(), iid, result);
    }
    catch (...)
    {
        return E_OUTOFMEMORY;
    }
}

template <typename Function>
void patch(HMODULE module, const char* dll, const char* name, std::type_identity_t<Function> replacement,
           Function& original)
{
    if (void* previous =
            explorer_driver::patch_import(module, dll, name, reinterpret_cast<void*>(replacement)))
    {
        original = reinterpret_cast<Function>(previous);
    }
}
} // namespace

std::optional<keyword_entry> parse_keyword_entry(std::wstring_view text)
{
    const size_t equals = text.rfind(L'=');
    if (equals == std::wstring_view::npos || equals == 0)
    {
        return std::nullopt;
    }
    keyword_entry entry;
    entry.path = comparable_path(text.substr(0, equals));
    std::wstring_view rest = text.substr(equals + 1);
    while (!rest.empty())
    {
        const size_t end = rest.find(L';');
        const std::wstring_view piece = rest.substr(0, end);
        if (!piece.empty())
        {
            entry.tags.emplace_back(piece);
        }
        rest = end == std::wstring_view::npos ? std::wstring_view{} : rest.substr(end + 1);
    }
    return entry;
}

std::optional<std::vector<std::wstring>> find_keywords(const std::vector<keyword_entry>& entries,
                                                       std::wstring_view path)
{
    const std::wstring full = comparable_path(path);
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
    {
        if (CompareStringOrdinal(entry->path.c_str(), static_cast<int>(entry->path.size()), full.c_str(),
                                 static_cast<int>(full.size()), TRUE) == CSTR_EQUAL)
        {
            return entry->tags;
        }
    }
    return std::nullopt;
}

bool install_keyword_stand_in(HMODULE module, std::vector<keyword_entry> entries)
{
    auto& current = state();
    current.entries = std::move(entries);
    patch(module, "shell32.dll", "SHGetPropertyStoreFromParsingName", &stand_in_get_store, current.get_store);
    // The folder route hands our storage to the store maker, so it is taken over only when
    // the store maker is ours too (Wine's own one ends the process).
    patch(module, "propsys.dll", "PSCreatePropertyStoreFromPropertySetStorage", &stand_in_store_from_storage,
          current.store_from_storage);
    if (current.store_from_storage != nullptr)
    {
        patch(module, "ole32.dll", "StgOpenStorageEx", &stand_in_open_storage, current.open_storage);
    }
    return current.get_store != nullptr || current.open_storage != nullptr;
}
void install_keyword_stand_in(tag_extension::property_system_api& functions)
{
    // Both reach the same system functions: where the DLL imports one, its original is kept.
    auto& current = state();
    current.get_store =
        current.get_store ? current.get_store : functions.get_property_store_from_parsing_name;
    current.open_storage = current.open_storage ? current.open_storage : functions.open_storage_ex;
    current.store_from_storage = current.store_from_storage
                                     ? current.store_from_storage
                                     : functions.create_property_store_from_property_set_storage;
    functions.get_property_store_from_parsing_name = &stand_in_get_store;
    functions.open_storage_ex = &stand_in_open_storage;
    functions.create_property_store_from_property_set_storage = &stand_in_store_from_storage;
}
} // namespace tag_menu_host
