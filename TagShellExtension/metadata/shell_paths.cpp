#include "TagShellExtension/metadata/shell_paths.h"

#include "common/logger.h"
#include "common/unique_resources.h"
#include "common/windows_paths.h"

#include <wrl/client.h>

#include <fmt/format.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace tag_extension
{
namespace
{
void remove_all(std::string& text, std::string_view marker)
{
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at))
    {
        text.erase(at, marker.size());
    }
}

[[noreturn]] void throw_canonical_error(const std::wstring& path, DWORD error)
{
    throw std::filesystem::filesystem_error("canonical", std::filesystem::path(path),
                                            std::error_code(static_cast<int>(error), std::system_category()));
}

// Returns false with the last error set when the system cannot name the file this way.
bool final_path(HANDLE file, DWORD flags, std::wstring& result)
{
    result.assign(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD length =
            GetFinalPathNameByHandleW(file, result.data(), static_cast<DWORD>(result.size()), flags);
        if (length == 0)
        {
            return false;
        }
        if (length < result.size())
        {
            result.resize(length);
            return true;
        }
        // Too small: the answer is the size needed, terminator included.
        result.assign(length, L'\0');
    }
}
} // namespace

std::vector<std::wstring> get_parsing_paths(IShellItemArray* items)
{
    std::vector<std::wstring> paths;
    DWORD count = 0;
    if (items == nullptr || FAILED(items->GetCount(&count)) || count == 0)
    {
        return paths;
    }
    for (DWORD index = 0; index < count; ++index)
    {
        Microsoft::WRL::ComPtr<IShellItem> item;
        if (FAILED(items->GetItemAt(index, &item)) || !item)
        {
            continue;
        }
        common::unique_cotaskmem_string name;
        const HRESULT hr = item->GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING, name.put());
        if (FAILED(hr))
        {
            // Signed on purpose: failure codes print with a leading minus sign.
            const std::string message =
                fmt::format("GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING) failed with HRESULT {:X} {}",
                            static_cast<std::int32_t>(hr), hresult_message(hr));
            common::log(common::log_level::error, "{}", message);
            throw std::runtime_error(message);
        }
        if (name)
        {
            paths.emplace_back(name.get());
        }
    }
    return paths;
}

std::string hresult_message(HRESULT hr)
{
    common::unique_hlocal buffer;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
        static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<char*>(buffer.put()), 0, nullptr);
    if (length == 0 || !buffer)
    {
        return "Unknown HRESULT error.";
    }
    std::string text(static_cast<const char*>(buffer.get()), length);

    if (!text.empty() && text.back() == '\n')
    {
        text.pop_back();
        if (!text.empty() && text.back() == '\r')
        {
            text.pop_back();
        }
    }
    remove_all(text, "%1 ");
    remove_all(text, "%2 ");
    return text;
}

std::wstring canonical_path(const std::wstring& path)
{
    // Backup semantics so folders open too; no access right is needed to ask for the name.
    const common::unique_hfile file(CreateFileW(path.c_str(), 0,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file)
    {
        throw_canonical_error(path, GetLastError());
    }
    std::wstring result;
    if (final_path(file.get(), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS, result))
    {
        return common::without_long_path_prefix(result);
    }
    DWORD error = GetLastError();
    // A volume without a drive letter is named through the NT device namespace.
    if (error == ERROR_PATH_NOT_FOUND &&
        final_path(file.get(), FILE_NAME_NORMALIZED | VOLUME_NAME_NT, result))
    {
        return L"\\\\?\\GLOBALROOT" + result;
    }
    if (error == ERROR_PATH_NOT_FOUND)
    {
        error = GetLastError();
    }
    throw_canonical_error(path, error);
}
} // namespace tag_extension
