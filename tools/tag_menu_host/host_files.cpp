#include "host_files.h"

#include "common/unique_resources.h"

#include <windows.h>

namespace tag_menu_host
{
std::wstring absolute_path(std::wstring_view path)
{
    const std::wstring given(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD size = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (size >= full.size())
    {
        full.resize(size);
        size = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (size == 0 || size >= full.size())
    {
        return given;
    }
    full.resize(size);
    return full;
}

std::string read_bytes(const std::wstring& path)
{
    const common::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
    std::string content;
    char buffer[16384];
    DWORD read = 0;
    while (file && ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
    {
        content.append(buffer, read);
    }
    return content;
}
} // namespace tag_menu_host
