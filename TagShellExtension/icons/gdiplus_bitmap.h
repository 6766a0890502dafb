#pragma once

#include "TagShellExtension/icons/gdiplus_headers.h"

#include <memory>
#include <string>

namespace tag_extension
{
struct gdiplus_image_deleter
{
    void operator()(Gdiplus::GpImage* image) const noexcept;
};
using bitmap_ptr = std::unique_ptr<Gdiplus::GpBitmap, gdiplus_image_deleter>;

struct gdiplus_graphics_deleter
{
    void operator()(Gdiplus::GpGraphics* graphics) const noexcept;
};
using graphics_ptr = std::unique_ptr<Gdiplus::GpGraphics, gdiplus_graphics_deleter>;

struct gdiplus_attributes_deleter
{
    void operator()(Gdiplus::GpImageAttributes* attributes) const noexcept;
};
using attributes_ptr = std::unique_ptr<Gdiplus::GpImageAttributes, gdiplus_attributes_deleter>;

// GDI+ for the lifetime of the object; a failed start-up makes every later GDI+ call fail.
class gdiplus_session
{
public:
    gdiplus_session();
    ~gdiplus_session();
    gdiplus_session(const gdiplus_session&) = delete;
    gdiplus_session& operator=(const gdiplus_session&) = delete;

private:
    ULONG_PTR token_ = 0;
};

// Null when GDI+ cannot decode the file; GDI+ picks the image of a multi-image icon.
// Decodes whatever the file holds: for files of unknown origin, see load_icon_source.
bitmap_ptr load_bitmap(const std::wstring& path);
// A blank 32-bit ARGB bitmap; null when GDI+ cannot make it.
bitmap_ptr blank_bitmap(int width, int height);
// A drawing surface on the bitmap; null when GDI+ cannot open one.
graphics_ptr graphics_of(Gdiplus::GpBitmap* bitmap);
// Image attributes that tile the source flipped, so that no transparent border bleeds into
// the edges of a scaled drawing; null when GDI+ cannot make them.
attributes_ptr flipped_tiling();
bool image_size(Gdiplus::GpImage* image, UINT& width, UINT& height);
} // namespace tag_extension
