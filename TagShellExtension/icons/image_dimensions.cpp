#include "TagShellExtension/icons/image_dimensions.h"

#include <algorithm>
#include <cstdlib>

namespace tag_extension
{
namespace
{
using dimensions = std::optional<image_dimensions>;

// Little- or big-endian unsigned number of `size` bytes at `at`; nothing past the end.
std::optional<std::uint32_t> number(std::string_view bytes, size_t at, size_t size, bool big_endian = false)
{
    if (at > bytes.size() || bytes.size() - at < size)
    {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (size_t i = 0; i < size; ++i)
    {
        const auto byte = static_cast<std::uint8_t>(bytes[at + (big_endian ? i : size - 1 - i)]);
        value = (value << 8) | byte;
    }
    return value;
}

dimensions pair(std::optional<std::uint32_t> width, std::optional<std::uint32_t> height)
{
    if (!width || !height || *width == 0 || *height == 0)
    {
        return std::nullopt;
    }
    return image_dimensions{*width, *height};
}

dimensions png(std::string_view bytes)
{
    return pair(number(bytes, 16, 4, true), number(bytes, 20, 4, true));
}

// BITMAPCOREHEADER or any later BITMAPINFOHEADER at `at`; a top-down height is negative.
dimensions dib(std::string_view bytes, size_t at, bool icon_mask)
{
    const auto header_size = number(bytes, at, 4);
    if (header_size == 12u)
    {
        return pair(number(bytes, at + 4, 2), number(bytes, at + 6, 2));
    }
    const auto width = number(bytes, at + 4, 4);
    const auto height = number(bytes, at + 8, 4);
    if (!header_size || *header_size < 16 || !width || !height)
    {
        return std::nullopt;
    }
    const auto magnitude = [](std::uint32_t value) {
        return static_cast<std::uint32_t>(
            std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(value))));
    };
    // An icon's bitmap holds the colour rows and the mask rows: twice the image's height.
    return pair(magnitude(*width), magnitude(*height) / (icon_mask ? 2 : 1));
}

dimensions icon(std::string_view bytes)
{
    const auto count = number(bytes, 4, 2);
    if (!count || *count == 0)
    {
        return std::nullopt;
    }
    image_dimensions largest;
    for (size_t entry = 6; entry < 6 + 16 * size_t{*count}; entry += 16)
    {
        const auto listed = pair(number(bytes, entry, 1), number(bytes, entry + 1, 1));
        const auto size = number(bytes, entry + 8, 4);
        const auto offset = number(bytes, entry + 12, 4);
        if (!size || !offset)
        {
            return std::nullopt;
        }
        // The directory's bytes say 0 for 256; what counts is the header of the image itself.
        dimensions found;
        if (*offset <= bytes.size() && *size <= bytes.size() - *offset)
        {
            const auto image = bytes.substr(*offset, *size);
            found = image.starts_with("\x89PNG\r\n\x1a\n") ? png(image) : dib(image, 0, true);
        }
        const image_dimensions one = found ? *found : listed ? *listed : image_dimensions{256, 256};
        largest = {std::max(largest.width, one.width), std::max(largest.height, one.height)};
    }
    return largest;
}

dimensions jpeg(std::string_view bytes)
{
    size_t at = 2;
    while (at + 1 < bytes.size())
    {
        if (bytes[at] != '\xFF')
        {
            return std::nullopt;
        }
        const auto marker = static_cast<std::uint8_t>(bytes[at + 1]);
        at += 2;
        if (marker == 0xFF)
        {
            --at; // fill byte
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
        {
            continue; // no length
        }
        if (marker == 0xD9 || marker == 0xDA)
        {
            return std::nullopt; // image data before any frame header
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame)
        {
            return pair(number(bytes, at + 5, 2, true), number(bytes, at + 3, 2, true));
        }
        const auto length = number(bytes, at, 2, true);
        if (!length || *length < 2)
        {
            return std::nullopt;
        }
        at += *length;
    }
    return std::nullopt;
}

// The first image's ImageWidth (256) and ImageLength (257), as SHORT (3) or LONG (4).
dimensions tiff(std::string_view bytes, bool big_endian)
{
    const auto directory = number(bytes, 4, 4, big_endian);
    const auto count = directory ? number(bytes, *directory, 2, big_endian) : std::nullopt;
    if (!count)
    {
        return std::nullopt;
    }
    std::optional<std::uint32_t> width, height;
    for (size_t entry = *directory + 2; entry < *directory + 2 + 12 * size_t{*count}; entry += 12)
    {
        const auto tag = number(bytes, entry, 2, big_endian);
        const auto type = number(bytes, entry + 2, 2, big_endian);
        if (!tag || !type)
        {
            return std::nullopt;
        }
        if ((*tag == 256 || *tag == 257) && (*type == 3 || *type == 4))
        {
            (*tag == 256 ? width : height) = number(bytes, entry + 8, *type == 3 ? 2 : 4, big_endian);
        }
    }
    return pair(width, height);
}
} // namespace

std::optional<image_dimensions> read_image_dimensions(std::string_view file)
{
    if (file.starts_with("\x89PNG\r\n\x1a\n"))
    {
        return png(file);
    }
    if (file.starts_with("GIF87a") || file.starts_with("GIF89a"))
    {
        return pair(number(file, 6, 2), number(file, 8, 2));
    }
    if (file.starts_with("BM"))
    {
        return dib(file, 14, false);
    }
    if (file.starts_with(std::string_view("\0\0\1\0", 4)) ||
        file.starts_with(std::string_view("\0\0\2\0", 4)))
    {
        return icon(file);
    }
    if (file.starts_with("\xFF\xD8"))
    {
        return jpeg(file);
    }
    if (file.starts_with(std::string_view("II*\0", 4)) || file.starts_with(std::string_view("MM\0*", 4)))
    {
        return tiff(file, file[0] == 'M');
    }
    return std::nullopt;
}
} // namespace tag_extension
