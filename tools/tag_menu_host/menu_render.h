#pragma once

#include "menu_model.h"

#include <string>

namespace tag_menu_host
{
enum class menu_theme
{
    light,
    dark,
};

// Draws the Tag command, highlighted as when its cascade is open, with the cascade beside
// it, the way Explorer's context menu shows them, and writes the picture as a PNG file
// (complete or not at all). Returns an empty text on success, else what went wrong.
std::wstring render_menu(const context_menu& menu, menu_theme theme, const std::wstring& png_path);
} // namespace tag_menu_host
