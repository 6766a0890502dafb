#include "TagShellExtension/icons/check_mark_compositor.h"

#include "TagShellExtension/icons/gdiplus_bitmap.h"

namespace tag_extension
{
using namespace Gdiplus;
using namespace Gdiplus::DllExports;

icon_rect visible_bounds(GpBitmap* bitmap)
{
    UINT width = 0;
    UINT height = 0;
    image_size(bitmap, width, height);
    const icon_rect whole{0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};

    GpRect area(0, 0, whole.width, whole.height);
    BitmapData data{};
    if (GdipBitmapLockBits(bitmap, &area, ImageLockModeRead, PixelFormat32bppARGB, &data) != Ok)
    {
        return whole;
    }
    std::int32_t left = whole.width, top = whole.height, right = -1, bottom = -1;
    for (std::int32_t y = 0; y < whole.height; ++y)
    {
        const auto* row = reinterpret_cast<const ARGB*>(static_cast<const BYTE*>(data.Scan0) +
                                                        static_cast<std::ptrdiff_t>(y) * data.Stride);
        for (std::int32_t x = 0; x < whole.width; ++x)
        {
            if (static_cast<int>(row[x] >> 24) > visible_alpha_threshold)
            {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    GdipBitmapUnlockBits(bitmap, &data);
    if (right < 0)
    {
        return whole;
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

bool draw_check_mark(GpBitmap* icon, GpBitmap* mark)
{
    UINT mark_width = 0;
    UINT mark_height = 0;
    UINT icon_width = 0;
    UINT icon_height = 0;
    if (!image_size(mark, mark_width, mark_height) || !image_size(icon, icon_width, icon_height))
    {
        return false;
    }
    // A straight ARGB copy, so that the visible bounds read the mark's own alpha.
    const auto copy = blank_bitmap(static_cast<INT>(mark_width), static_cast<INT>(mark_height));
    if (!copy)
    {
        return false;
    }
    {
        const auto graphics = graphics_of(copy.get());
        if (!graphics || GdipSetCompositingMode(graphics.get(), CompositingModeSourceCopy) != Ok ||
            GdipDrawImageRectI(graphics.get(), mark, 0, 0, static_cast<INT>(mark_width),
                               static_cast<INT>(mark_height)) != Ok)
        {
            return false;
        }
    }

    const auto graphics = graphics_of(icon);
    const auto attributes = flipped_tiling();
    if (!graphics || !attributes || GdipSetCompositingMode(graphics.get(), CompositingModeSourceOver) != Ok ||
        GdipSetInterpolationMode(graphics.get(), InterpolationModeHighQualityBicubic) != Ok)
    {
        return false;
    }
    const auto source = visible_bounds(copy.get());
    const UINT side = std::min(icon_width, icon_height);
    const INT size = side > 1 ? static_cast<INT>(side * 3 / 4) : 1;
    return GdipDrawImageRectRectI(graphics.get(), copy.get(), 0, 0, size, size, source.left, source.top,
                                  source.width, source.height, UnitPixel, attributes.get(), nullptr,
                                  nullptr) == Ok;
}
} // namespace tag_extension
