#include "common/windows_paths.h"

#include <windows.h>

namespace common
{
namespace
{
bool has_drive_prefix(std::wstring_view path) noexcept
{
    return path.size() >= 2 && path[1] == L':' &&
           ((path[0] >= L'a' && path[0] <= L'z') || (path[0] >= L'A' && path[0] <= L'Z'));
}

// Whether the path starts with a root name other than a drive letter.
bool has_non_drive_root_name(std::wstring_view path) noexcept
{
    if (path.size() < 3 || !is_path_separator(path[0]))
    {
        return false;
    }
    // \\?\x, \\.\x and \??\x: the prefix is a root name when a non-separator follows it.
    const bool device_prefix = (is_path_separator(path[1]) && (path[2] == L'?' || path[2] == L'.')) ||
                               (path[1] == L'?' && path[2] == L'?');
    if (device_prefix && path.size() >= 4 && is_path_separator(path[3]) &&
        (path.size() == 4 || !is_path_separator(path[4])))
    {
        return true;
    }
    // \\server
    return is_path_separator(path[1]) && !is_path_separator(path[2]);
}

std::wstring_view last_name(std::wstring_view path) noexcept
{
    const auto separator = path.find_last_of(L"\\/");
    std::wstring_view name = separator == std::wstring_view::npos ? path : path.substr(separator + 1);
    if (separator == std::wstring_view::npos && name.size() >= 2 && name[1] == L':')
    {
        name.remove_prefix(2); // C:name
    }
    return name;
}

// A name's extension starts at its last dot, unless that dot starts the name (".ico", "..").
size_t stem_length(std::wstring_view name) noexcept
{
    const auto dot = name.rfind(L'.');
    return dot == std::wstring_view::npos || dot == 0 || name == L".." ? name.size() : dot;
}
} // namespace

bool is_path_separator(wchar_t c) noexcept
{
    return c == L'\\' || c == L'/';
}

bool is_absolute_windows_path(std::wstring_view path) noexcept
{
    if (has_drive_prefix(path))
    {
        return path.size() >= 3 && is_path_separator(path[2]);
    }
    return has_non_drive_root_name(path);
}

std::wstring volume_root(std::wstring_view path)
{
    size_t end = 0;
    if (path.size() >= 2 && path[1] == L':')
    {
        end = 2;
    }
    else if (path.size() >= 2 && is_path_separator(path[0]) && is_path_separator(path[1]))
    {
        // A network volume is a share: the volume query needs \\server\share\.
        end = 2;
        for (int names = 0; names < 2 && end < path.size(); ++names)
        {
            end += names == 0 ? 0 : 1;
            while (end < path.size() && !is_path_separator(path[end]))
            {
                ++end;
            }
        }
    }
    return std::wstring(path.substr(0, end)) + L'\\';
}

std::wstring without_long_path_prefix(std::wstring_view path)
{
    constexpr std::wstring_view unc_prefix = L"\\\\?\\UNC\\";
    constexpr std::wstring_view long_prefix = L"\\\\?\\";
    if (path.starts_with(unc_prefix))
    {
        return L"\\\\" + std::wstring(path.substr(unc_prefix.size()));
    }
    if (path.starts_with(long_prefix) && has_drive_prefix(path.substr(long_prefix.size())))
    {
        return std::wstring(path.substr(long_prefix.size()));
    }
    return std::wstring(path);
}

std::wstring long_path_form(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 1 || path.starts_with(L"\\\\?\\"))
    {
        return path;
    }
    return path.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
}

std::wstring joined_path(std::wstring_view folder, std::wstring_view name)
{
    std::wstring joined(folder);
    if (!joined.empty() && !is_path_separator(joined.back()))
    {
        joined += L'\\';
    }
    return joined.append(name);
}

std::wstring_view file_stem(std::wstring_view path) noexcept
{
    const std::wstring_view name = last_name(path);
    return name.substr(0, stem_length(name));
}

std::wstring_view file_extension(std::wstring_view path) noexcept
{
    const std::wstring_view name = last_name(path);
    return name.substr(stem_length(name));
}
} // namespace common
