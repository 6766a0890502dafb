#pragma once

#include "TagShellExtension/icons/gdiplus_headers.h"

#include <memory>
#include <string>

namespace tag_menu_host
{
// Averages each block of factor by factor pixels: Wine's GDI+ fills paths without
// anti-aliasing, so the shapes are drawn larger and brought down here. Null on failure.
std::unique_ptr<Gdiplus::Bitmap> shrink(Gdiplus::Bitmap& large, int factor, int width, int height);

// Written beside the target and moved over it, so a failure never leaves half a picture.
// Empty on success, else what went wrong.
std::wstring save_png(Gdiplus::Bitmap& picture, const std::wstring& path);
} // namespace tag_menu_host
