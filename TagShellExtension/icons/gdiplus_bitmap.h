#pragma once

#include "TagShellExtension/icons/gdiplus_headers.h"
#include "common/unique_resources.h"

#include <string>

namespace tag_extension
{
// Owning GDI+ objects, in the vocabulary of common/unique_resources.h.
template <typename T, auto Dispose>
using unique_gdiplus = common::unique_any<common::resource_traits::null_invalid<T*, Dispose>>;
using bitmap_ptr = unique_gdiplus<Gdiplus::GpBitmap, &Gdiplus::DllExports::GdipDisposeImage>;
using graphics_ptr = unique_gdiplus<Gdiplus::GpGraphics, &Gdiplus::DllExports::GdipDeleteGraphics>;
using attributes_ptr =
    unique_gdiplus<Gdiplus::GpImageAttributes, &Gdiplus::DllExports::GdipDisposeImageAttributes>;

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
