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

} // namespace tag_menu_host
