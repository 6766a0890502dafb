#pragma once

#include "TagShellExtension/icons/gdiplus_headers.h"

#include <memory>
#include <string>

namespace tag_menu_host
{
// Menu icons are drawn at this many pixels square (100 % scaling).
inline constexpr int icon_size = 16;

// The icon at 16 by 16 pixels, or null when it cannot be read; Explorer then shows none.
// The location may name an image inside the file ("C:\x.ico,-101"): the file is what is read.
std::unique_ptr<Gdiplus::Bitmap> load_icon(const std::wstring& location);
} // namespace tag_menu_host
