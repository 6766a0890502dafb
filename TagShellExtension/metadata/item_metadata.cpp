#include "TagShellExtension/metadata/item_metadata.h"

#include "TagShellExtension/metadata/shell_paths.h"

#include <fmt/format.h>

#include <cstdint>
#include <stdexcept>
#include <utility>

namespace tag_extension
{
namespace
{
bool available(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & unavailable_attribute_mask) == 0;
}

HRESULT last_error_as_hresult()
{
    return HRESULT_FROM_WIN32(GetLastError());
}

bool is_missing(HRESULT hr)
{
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ||
           hr == STG_E_FILENOTFOUND;
}
} // namespace

property_system_api& property_system_functions()
{
    static property_system_api functions;
    return functions;
}

bool is_locally_available(const std::wstring& path)
{
    return available(property_system_functions().get_file_attributes(path.c_str()));
}

item_metadata::~item_metadata()
{
    close();
}

void item_metadata::close() noexcept
{
    // Cleared before the release so the member never points at a store being torn down.
    std::exchange(store_, nullptr).Reset();
    opened_ = 0;
    path_.clear();
    is_directory_ = false;
}

void item_metadata::forget_other_path(const std::wstring& path) noexcept
{
    if (!path_.empty() && path_ != path)
    {
        close();
    }
}

void item_metadata::keep(Microsoft::WRL::ComPtr<IPropertyStore> store, const std::wstring& path)
{
    std::wstring held = path;
    // Any earlier store goes first, so a second open never leaks one.
    close();
    store_ = std::move(store);
    opened_ = 1;
    path_ = std::move(held);
}

bool item_metadata::open(const std::wstring& path)
{
    forget_other_path(path);
    if (path.empty())
    {
        return false;
    }
    if (store_ && opened_ != 0)
    {
        return true;
    }
    const auto& api = property_system_functions();
    const DWORD attributes = api.get_file_attributes(path.c_str());
    if (!available(attributes))
    {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        is_directory_ = true;
        return open_from_storage(path);
    }

    // Reparse points (links, placeholders) skip the handler-only attempt and are asked once.
    const GETPROPERTYSTOREFLAGS first =
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? GPS_DEFAULT : GPS_HANDLERPROPERTIESONLY;
    Microsoft::WRL::ComPtr<IPropertyStore> store;
    HRESULT hr = api.get_property_store_from_parsing_name(path.c_str(), nullptr, first, IID_IPropertyStore,
                                                          reinterpret_cast<void**>(store.GetAddressOf()));
    if (FAILED(hr) && first == GPS_HANDLERPROPERTIESONLY)
    {
        hr = api.get_property_store_from_parsing_name(
            path.c_str(), nullptr, GPS_DEFAULT, IID_IPropertyStore,
            reinterpret_cast<void**>(store.ReleaseAndGetAddressOf()));
    }
    if (SUCCEEDED(hr) && store)
    {
        keep(std::move(store), path);
        return true;
    }
    if (open_from_storage(path))
    {
        return true;
    }

    const HRESULT error = last_error_as_hresult();
    if (is_missing(error))
    {
        return false;
    }
    throw std::runtime_error(fmt::format("Failed to open metadata 0x{:08X} {}",
                                         static_cast<std::uint32_t>(error), hresult_message(error)));
}

bool item_metadata::open_from_storage(const std::wstring& path)
{
    forget_other_path(path);
    if (store_ && opened_ != 0)
    {
        return true;
    }
    const auto& api = property_system_functions();
    if (!available(api.get_file_attributes(path.c_str())))
    {
        return false;
    }
    Microsoft::WRL::ComPtr<IPropertySetStorage> storage;
    if (FAILED(api.open_storage_ex(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_FILE, 0, nullptr,
                                   nullptr, IID_IPropertySetStorage,
                                   reinterpret_cast<void**>(storage.GetAddressOf()))) ||
        !storage)
    {
        return false;
    }
    // The store keeps what it needs of the storage.
    Microsoft::WRL::ComPtr<IPropertyStore> store;
    const HRESULT hr = api.create_property_store_from_property_set_storage(
        storage.Get(), STGM_READ, IID_IPropertyStore, reinterpret_cast<void**>(store.GetAddressOf()));
    if (FAILED(hr) || !store)
    {
        return false;
    }
    keep(std::move(store), path);
    const DWORD attributes = api.get_file_attributes(path.c_str());
    is_directory_ = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}
} // namespace tag_extension
