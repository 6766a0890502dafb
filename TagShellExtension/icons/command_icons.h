#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace tag_extension
{
// Appended to the module folder as text: each begins with its separator.
inline constexpr const wchar_t* tag_light_icon_name = L"\\Content\\Icons\\tag_action_light.ico";
inline constexpr const wchar_t* tag_dark_icon_name = L"\\Content\\Icons\\tag_action_dark.ico";
inline constexpr const wchar_t* auto_tag_icon_name = L"\\Content\\Icons\\auto_tag_action.ico";
inline constexpr const wchar_t* check_mark_icon_name = L"\\Content\\Icons\\check_mark_for_icon_overlay.ico";

// HKCU ...\Themes\Personalize "AppsUseLightTheme", read now; anything unreadable counts as light.
bool apps_use_light_theme();

// The Tag command's icon for the given theme, beside this module.
std::wstring tag_command_icon_path(bool light_theme);
// The Tag command's icon, chosen by the theme on first use and kept for the process.
const std::wstring& tag_command_icon_path();
// Shared by Auto tag and Recognize faces; made on first use.
const std::wstring& auto_tag_icon_path();
// The overlay drawn onto tagged icons, beside the given module.
std::wstring check_mark_icon_path(HMODULE module);

// Absent gives no icon (empty); absolute values stay as they are; anything else is
// joined to this module's folder as text, without normalising.
std::wstring resolve_icon_path(const std::optional<std::wstring>& value);
} // namespace tag_extension
