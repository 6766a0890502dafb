#include "common/setting_utilities/common_settings_file.h"

#include "common/folders.h"
#include "common/logger.h"
#include "common/unique_resources.h"

#include <algorithm>
#include <system_error>

namespace common::setting_utilities
{
namespace
{
file_stamp stamp_of(const FILETIME& write_time, DWORD size_high, DWORD size_low) noexcept
{
    return {(static_cast<std::uint64_t>(write_time.dwHighDateTime) << 32) | write_time.dwLowDateTime,
            (static_cast<std::uint64_t>(size_high) << 32) | size_low};
}

std::error_code win32_error(DWORD code) noexcept
{
    return {static_cast<int>(code), std::system_category()};
}

// The whole file, and its stamp when it was read whole: a file that another process holds
// without sharing, or a read error, gives what was read and no stamp.
std::string read_bytes(const std::wstring& path, std::optional<file_stamp>& stamp)
{
    std::string bytes;
    const common::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    FILETIME write_time{};
    LARGE_INTEGER size{};
    // Taken before reading, so a change made while reading is picked up by the next load.
    if (!file || !GetFileTime(file.get(), nullptr, nullptr, &write_time) || !GetFileSizeEx(file.get(), &size))
    {
        return bytes;
    }
    const file_stamp before = stamp_of(write_time, static_cast<DWORD>(size.HighPart), size.LowPart);
    // One byte more than the size, so that the read which finds the end needs no reallocation.
    size_t capacity = static_cast<size_t>(before.size) + 1;
    size_t filled = 0;
    for (;;)
    {
        if (filled == capacity)
        {
            capacity *= 2;
        }
        bytes.resize(capacity);
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(capacity - filled, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + filled, wanted, &read, nullptr))
        {
            break;
        }
        if (read == 0)
        {
            stamp = before;
            break;
        }
        filled += read;
    }
    bytes.resize(filled);
    return bytes;
}
} // namespace

std::filesystem::path settings_folder(const std::wstring& folder_name)
{
    return common::app_data_folder(folder_name, L"");
}

std::filesystem::path defaults_folder(HMODULE module)
{
    return common::module_folder(module) / L"Content" / L"Configurations";
}

common_settings_file::common_settings_file(const std::filesystem::path& folder,
                                           const std::filesystem::path& defaults_folder,
                                           const std::wstring& base_name)
    : file_path_((folder / (base_name + L".json")).wstring()),
      default_file_path_((defaults_folder / (base_name + L".json")).wstring())
{
}

bool common_settings_file::load(bool force)
{
    // Menus load on every opening: an unchanged file costs one attribute query and nothing else.
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!force && GetFileAttributesExW(file_path_.c_str(), GetFileExInfoStandard, &attributes))
    {
        const file_stamp now =
            stamp_of(attributes.ftLastWriteTime, attributes.nFileSizeHigh, attributes.nFileSizeLow);
        std::lock_guard guard(parsed_lock_);
        if (parsed_ == now)
        {
            return true;
        }
    }
    try
    {
        provide_default();
        std::optional<file_stamp> stamp;
        std::string text = read_bytes(file_path_, stamp);
        if (!parse(text))
        {
            return false;
        }
        // A file that could not be read is read again next time, whatever its stamp.
        std::lock_guard guard(parsed_lock_);
        parsed_ = stamp;
        return true;
    }
    catch (const std::exception& error)
    {
        common::log(common::log_level::critical, "Unable to copy settings file. Details {}", error.what());
    }
    catch (...)
    {
    }
    return false;
}

void common_settings_file::provide_default() const
{
    if (GetFileAttributesW(file_path_.c_str()) != INVALID_FILE_ATTRIBUTES)
    {
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    {
        throw std::filesystem::filesystem_error("exists", file_path_, win32_error(error));
    }
    if (!CopyFileW(default_file_path_.c_str(), file_path_.c_str(), TRUE))
    {
        const DWORD copy_error = GetLastError();
        // Another thread or process provided it first: use theirs.
        if (copy_error == ERROR_FILE_EXISTS)
        {
            return;
        }
        throw std::filesystem::filesystem_error("copy_file", default_file_path_, file_path_,
                                                win32_error(copy_error));
    }
    common::log(common::log_level::info, L"Copied default settings from {} to {}", default_file_path_,
                file_path_);
}
} // namespace common::setting_utilities
