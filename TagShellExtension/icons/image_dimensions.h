#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tag_extension
{
struct image_dimensions
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    bool operator==(const image_dimensions&) const = default;
};

// The pixel size an image file declares in its headers, read without decoding: PNG, GIF,
// BMP, JPEG, TIFF, and for icon files the largest of their images. Nothing for any other
// content or for headers that cannot be read whole.
std::optional<image_dimensions> read_image_dimensions(std::string_view file);
} // namespace tag_extension
