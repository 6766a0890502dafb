#include "host_files.h"

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
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return {};
    }
    std::string content;
    char buffer[16384];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    {
        content.append(buffer, read);
    }
    CloseHandle(file);
    return content;
}
} // namespace tag_menu_host
