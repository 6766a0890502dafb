#pragma once

#include <string>
#include <string_view>

namespace tag_menu_host
{
// The absolute form of a path as GetFullPathNameW makes it (relative to the current folder,
// "." and ".." resolved, nothing looked up on disk); the path as given when that fails.
std::wstring absolute_path(std::wstring_view path);
} // namespace tag_menu_host
