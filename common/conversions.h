#pragma once

#include <string>
#include <string_view>

namespace common
{
// Invalid input is never rejected: the platform substitutes what it cannot convert.
std::string to_utf8(std::wstring_view text);
// Stops at the first zero byte, the way the JSON library hands out its strings.
std::wstring to_wide(const char* text);
std::wstring to_wide(const std::string& text);
} // namespace common
