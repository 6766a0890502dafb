#pragma once

#include "TagShellExtension/icons/gdiplus_headers.h"

#include <string>

namespace tag_extension
{
// Writes an icon file holding the bitmap as one PNG image, through common::replace_file:
// the file appears complete or not at all.
bool save_png_icon(Gdiplus::GpBitmap* bitmap, const std::wstring& path);
} // namespace tag_extension
