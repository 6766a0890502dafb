#include "common/setting_utilities/common_settings_file.h"

#include "common/folders.h"
#include "common/logger.h"
#include "common/whole_file.h"

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
        // A file that another process holds without sharing, or a read error, gives what was
        // read and no stamp.
        common::file_contents contents = common::read_whole_file(file_path_);
        std::optional<file_stamp> stamp;
        if (contents.result == common::file_contents::outcome::whole)
        {
            stamp = file_stamp{contents.write_time, contents.size};
        }
        if (!parse(contents.bytes))
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
