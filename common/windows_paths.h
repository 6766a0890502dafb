#pragma once

#include <string>
#include <string_view>

// Windows path texts, read by Windows' rules: std::filesystem gets the roots of network, long
// and device paths wrong in this runtime. Nothing here touches the disk.
namespace common
{
bool is_path_separator(wchar_t c) noexcept;

// "C:\x", "\\server\x", "\\?\x", "\\.\x" and "\??\x" are absolute; "C:x", "\x" and plain
// relative paths are not.
bool is_absolute_windows_path(std::wstring_view path) noexcept;

// "C:\a\b" -> "C:\"; "\\server\share\a" -> "\\server\share\" (a network volume is its share).
std::wstring volume_root(std::wstring_view path);

// "\\?\C:\a" -> "C:\a", "\\?\UNC\server\share" -> "\\server\share"; any other form is kept.
std::wstring without_long_path_prefix(std::wstring_view path);

// Paths of MAX_PATH and more reach the file system only in the \\?\ form; shorter ones are kept.
std::wstring long_path_form(const std::wstring& path);

// The folder and the name with one separator between them.
std::wstring joined_path(std::wstring_view folder, std::wstring_view name);

// The last name without its extension: "C:\a\photo.tag.ico" -> "photo.tag"; ".ico" and ".."
// stay whole.
std::wstring_view file_stem(std::wstring_view path) noexcept;
// The rest of the last name after its stem: ".ico" for "C:\a\photo.tag.ico", none for ".ico".
std::wstring_view file_extension(std::wstring_view path) noexcept;
} // namespace common
