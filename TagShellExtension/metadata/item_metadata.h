#pragma once

#include <windows.h>
#include <objbase.h>
#include <propsys.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>

namespace tag_extension
{
// Offline, recall-on-open and recall-on-data-access: reading such an item would fetch it.
// Spelled out because not every SDK names the two recall bits.
inline constexpr DWORD attribute_recall_on_open = 0x00040000;
inline constexpr DWORD attribute_recall_on_data_access = 0x00400000;
inline constexpr DWORD unavailable_attribute_mask =
    FILE_ATTRIBUTE_OFFLINE | attribute_recall_on_open | attribute_recall_on_data_access;

// The property-system calls of this area, replaceable because Wine cannot serve them.
struct property_system_api
{
    HRESULT(WINAPI* get_property_store_from_parsing_name)
    (PCWSTR path, IBindCtx* bind_context, GETPROPERTYSTOREFLAGS flags, REFIID iid,
     void** result) = &SHGetPropertyStoreFromParsingName;
    HRESULT(WINAPI* open_storage_ex)
    (const WCHAR* path, DWORD mode, DWORD format, DWORD attributes, STGOPTIONS* options,
     PSECURITY_DESCRIPTOR security, REFIID iid, void** result) = &StgOpenStorageEx;
    HRESULT(WINAPI* create_property_store_from_property_set_storage)
    (IPropertySetStorage* storage, DWORD mode, REFIID iid,
     void** result) = &PSCreatePropertyStoreFromPropertySetStorage;
    DWORD(WINAPI* get_file_attributes)(LPCWSTR path) = &GetFileAttributesW;
};
property_system_api& property_system_functions();

// Whether the item exists and can be read without first fetching it (offline or cloud files).
bool is_locally_available(const std::wstring& path);

// A read-only property store of one file-system item, held for one short read.
class item_metadata
{
public:
    item_metadata() = default;
    ~item_metadata();
    item_metadata(const item_metadata&) = delete;
    item_metadata& operator=(const item_metadata&) = delete;

    // Files: handler store, default store, then the storage route; folders: the storage route.
    // False for an empty path, an unavailable or missing item and a folder without a store;
    // throws a runtime error for any other failure of a file.
    bool open(const std::wstring& path);
    // Never throws on its own account.
    bool open_from_storage(const std::wstring& path);
    void close() noexcept;

    IPropertyStore* store() const noexcept { return store_.Get(); }
    bool opened() const noexcept { return opened_ != 0; }
    const std::wstring& path() const noexcept { return path_; }
    bool is_directory() const noexcept { return is_directory_; }

private:
    void forget_other_path(const std::wstring& path) noexcept;
    void keep(Microsoft::WRL::ComPtr<IPropertyStore> store, const std::wstring& path);

    Microsoft::WRL::ComPtr<IPropertyStore> store_;
    LONG opened_ = 0;
    std::wstring path_;
    bool is_directory_ = false;
};
} // namespace tag_extension
