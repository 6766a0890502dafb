#include "TagShellExtension/icons/gdiplus_bitmap.h"

namespace tag_extension
{
using namespace Gdiplus;
using namespace Gdiplus::DllExports;

gdiplus_session::gdiplus_session()
{
    GdiplusStartupInput input;
    if (GdiplusStartup(&token_, &input, nullptr) != Ok)
    {
        token_ = 0;
    }
}

gdiplus_session::~gdiplus_session()
{
    if (token_ != 0)
    {
        GdiplusShutdown(token_);
    }
}

bitmap_ptr load_bitmap(const std::wstring& path)
{
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromFile(path.c_str(), &bitmap) != Ok)
    {
        return {};
    }
    return bitmap_ptr(bitmap);
}

bitmap_ptr blank_bitmap(int width, int height)
{
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap) != Ok)
    {
        return {};
    }
    return bitmap_ptr(bitmap);
}

graphics_ptr graphics_of(GpBitmap* bitmap)
{
    GpGraphics* graphics = nullptr;
    if (GdipGetImageGraphicsContext(bitmap, &graphics) != Ok)
    {
        return {};
    }
    return graphics_ptr(graphics);
}

attributes_ptr flipped_tiling()
{
    GpImageAttributes* attributes = nullptr;
    if (GdipCreateImageAttributes(&attributes) != Ok)
    {
        return {};
    }
    attributes_ptr owner(attributes);
    if (GdipSetImageAttributesWrapMode(attributes, WrapModeTileFlipXY, 0xFF000000, FALSE) != Ok)
    {
        return {};
    }
    return owner;
}

bool image_size(GpImage* image, UINT& width, UINT& height)
{
    return GdipGetImageWidth(image, &width) == Ok && GdipGetImageHeight(image, &height) == Ok;
}
} // namespace tag_extension
