#pragma once

#include "TagShellExtension/icons/gdiplus_headers.h"

#include <cstdint>

namespace tag_extension
{
struct icon_rect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Pixels with an alpha above this take part in the check mark's visible bounds.
inline constexpr int visible_alpha_threshold = 8;

// Bounds of the pixels whose alpha exceeds the threshold; the whole bitmap when there are none.
icon_rect visible_bounds(Gdiplus::GpBitmap* bitmap);
// Stretches the visible part of the mark over the top-left three quarters of the icon.
bool draw_check_mark(Gdiplus::GpBitmap* icon, Gdiplus::GpBitmap* mark);
} // namespace tag_extension
