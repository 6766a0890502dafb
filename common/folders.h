#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace common
{
inline constexpr const char* company_folder_name = "Quenbrook";
inline constexpr const char* product_folder_name = "Lumora";

// The DLL's own instance handle, stored at process attach. Code linked into an
// executable (tests, tools) gets the executable's handle until someone sets it.
HMODULE module_handle() noexcept;
void set_module_handle(HMODULE module) noexcept;

// Names a folder that stands in for FOLDERID_LocalAppData, so that tests and the programs they
// start keep every per-user file (settings, logs, generated icons) in a scratch folder.
inline constexpr const wchar_t* local_app_data_variable = L"TAG_LOCAL_APP_DATA";

// A variable of this process, whatever its length; empty when it is not set.
std::wstring environment_variable(const wchar_t* name);

// FOLDERID_LocalAppData, or the folder local_app_data_variable names when it is set; empty
// when the platform cannot give it (asked again next time).
std::filesystem::path local_app_data_folder();
// local app data\Quenbrook\Lumora, made when missing.
std::filesystem::path product_folder();
// The same path without touching the disk, for callers that make it only when they write.
std::filesystem::path product_folder_path();
// product folder\folder\subfolder, made when missing; an empty subfolder leaves a trailing separator.
std::filesystem::path app_data_folder(const std::wstring& folder, const std::wstring& subfolder);
// Folder of the file the module was loaded from, without a trailing separator.
std::filesystem::path module_folder(HMODULE module);
std::filesystem::path module_folder();

// Makes the folder and its parents; failures raise std::filesystem::filesystem_error.
void ensure_folder(const std::filesystem::path& folder);
} // namespace common
