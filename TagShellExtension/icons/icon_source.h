#pragma once

#include "TagShellExtension/icons/gdiplus_bitmap.h"

#include <wrl/client.h>

#include <cstdint>
#include <string>

namespace tag_extension
{
// What a tag icon may cost, since Explorer waits while it is decoded: a larger file is not
// read, an image that declares more pixels is not decoded (4096 x 4096 decodes in about half
// a second under Wine).
inline constexpr std::uint64_t icon_source_byte_limit = 4 * 1024 * 1024;
inline constexpr std::uint64_t icon_source_pixel_limit = 4096 * 4096;
// Explorer never draws a menu icon larger than this.
inline constexpr std::uint32_t largest_icon_side = 256;

// The decoded image of an icon file. GDI+ may read the stream while the bitmap lives.
struct icon_source
{
    Microsoft::WRL::ComPtr<IStream> stream;
    bitmap_ptr bitmap;
    // Why a readable file was not decoded (too large); empty otherwise.
    std::string refusal;
};

// Reads the file within the byte limit, decodes it when its headers declare a known format
// within the pixel limit, and scales an image larger than the largest icon side down to fit
// it, keeping its aspect. No bitmap when any of that fails.
icon_source load_icon_source(const std::wstring& path);
} // namespace tag_extension
