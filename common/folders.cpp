#include "common/folders.h"

#include "common/unique_resources.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <mutex>

namespace common
{
namespace
{
std::atomic<HMODULE> stored_module{nullptr};

std::wstring widen_ascii(const char* text)
{
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

} // namespace

std::wstring environment_variable(const wchar_t* name)
{
    // A variable may change between the two calls: ask until the value fits.
    std::wstring value;
    for (DWORD size = 0;;)
    {
        value.resize(size);
        const DWORD needed = GetEnvironmentVariableW(name, value.data(), size);
        if (needed < size || needed == 0)
        {
            value.resize(needed);
            return value;
        }
        size = needed;
    }
}

HMODULE module_handle() noexcept
{
    HMODULE module = stored_module.load();
    return module != nullptr ? module : GetModuleHandleW(nullptr);
}

void set_module_handle(HMODULE module) noexcept
{
    stored_module.store(module);
}

std::filesystem::path local_app_data_folder()
{
    // Read on each call, not kept: a test sets and restores it while the process runs.
    if (auto redirected = environment_variable(local_app_data_variable); !redirected.empty())
    {
        return redirected;
    }
    // Kept once obtained; a failure is not kept so the next caller asks again.
    static std::mutex lock;
    static std::filesystem::path cached;
    std::lock_guard guard(lock);
    if (cached.empty())
    {
        unique_cotaskmem_string folder;
        if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, folder.put())))
        {
            cached = folder.get();
        }
    }
    return cached;
}

void ensure_folder(const std::filesystem::path& folder)
{
    if (!std::filesystem::exists(folder))
    {
        std::filesystem::create_directories(folder);
    }
}

std::filesystem::path product_folder_path()
{
    return local_app_data_folder() / widen_ascii(company_folder_name) / widen_ascii(product_folder_name);
}

std::filesystem::path product_folder()
{
    auto folder = product_folder_path();
    ensure_folder(folder);
    return folder;
}

std::filesystem::path app_data_folder(const std::wstring& folder, const std::wstring& subfolder)
{
    auto path = product_folder_path() / folder / subfolder;
    ensure_folder(path);
    return path;
}

std::filesystem::path module_folder(HMODULE module)
{
    std::wstring name(MAX_PATH, L'\0');
    DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
    if (length == name.size() && GetLastError() == ERROR_INSUFFICIENT_BUFFER)
    {
        name.assign(65535, L'\0');
        length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
    }
    name.resize(length);
    // Cut at the last separator ourselves: PathRemoveFileSpecW stops at MAX_PATH.
    const auto separator = name.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
    {
        return {};
    }
    // Keep the separator of a root such as C:\ .
    name.resize(separator == 2 && name[1] == L':' ? separator + 1 : separator);
    return name;
}

std::filesystem::path module_folder()
{
    return module_folder(module_handle());
}
} // namespace common
