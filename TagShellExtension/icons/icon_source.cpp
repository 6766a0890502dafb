#include "TagShellExtension/icons/icon_source.h"

#include "TagShellExtension/icons/image_dimensions.h"
#include "common/whole_file.h"

#include <fmt/format.h>

#include <shlwapi.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace tag_extension
{
using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace
{
// The whole file when it is a disk file within the byte limit (a device such as CON is never read).
std::optional<std::string> read_within_limit(const std::wstring& path, std::string& refusal)
{
    common::file_contents contents = common::read_whole_file(path, icon_source_byte_limit);
    if (contents.result == common::file_contents::outcome::too_large)
    {
        refusal = fmt::format("{} bytes, above the limit of {}", contents.size, icon_source_byte_limit);
    }
    if (contents.result != common::file_contents::outcome::whole)
    {
        return std::nullopt;
    }
    return std::move(contents.bytes);
}

// Each pixel of the result is the average of the source pixels it covers, in premultiplied
// alpha: one pass over the source, and no pixel from outside the image bleeds into the edges.
bitmap_ptr scaled_to_fit(GpBitmap* image, UINT width, UINT height)
{
    const std::uint64_t longer = std::max(width, height);
    const auto fitted = [&](UINT length) {
        return static_cast<UINT>(
            std::max<std::uint64_t>(1, (length * largest_icon_side + longer / 2) / longer));
    };
    const UINT out_width = fitted(width);
    const UINT out_height = fitted(height);
    std::vector<size_t> column(width);
    for (UINT x = 0; x < width; ++x)
    {
        column[x] = std::uint64_t{x} * out_width / width;
    }
    std::vector<std::uint64_t> sums(size_t{out_width} * out_height * 4);
    std::vector<std::uint32_t> counts(size_t{out_width} * out_height);
    GpRect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    BitmapData pixels{};
    // Read as decoded (no conversion pass over a large image) and premultiplied here, in 255ths.
    if (GdipBitmapLockBits(image, &whole, ImageLockModeRead, PixelFormat32bppARGB, &pixels) != Ok)
    {
        return {};
    }
    for (UINT y = 0; y < height; ++y)
    {
        const auto* row =
            static_cast<const BYTE*>(pixels.Scan0) + static_cast<std::ptrdiff_t>(y) * pixels.Stride;
        const size_t out_row = std::uint64_t{y} * out_height / height * out_width;
        for (UINT x = 0; x < width; ++x)
        {
            const size_t at = out_row + column[x];
            const BYTE* pixel = row + size_t{x} * 4;
            for (size_t channel = 0; channel < 3; ++channel)
            {
                sums[at * 4 + channel] += std::uint64_t{pixel[channel]} * pixel[3];
            }
            sums[at * 4 + 3] += std::uint64_t{pixel[3]} * 255;
            ++counts[at];
        }
    }
    GdipBitmapUnlockBits(image, &pixels);

    auto scaled = blank_bitmap(static_cast<INT>(out_width), static_cast<INT>(out_height));
    GpRect target(0, 0, static_cast<INT>(out_width), static_cast<INT>(out_height));
    if (!scaled ||
        GdipBitmapLockBits(scaled.get(), &target, ImageLockModeWrite, PixelFormat32bppPARGB, &pixels) != Ok)
    {
        return {};
    }
    for (UINT y = 0; y < out_height; ++y)
    {
        auto* row = static_cast<BYTE*>(pixels.Scan0) + static_cast<std::ptrdiff_t>(y) * pixels.Stride;
        for (size_t i = 0; i < size_t{out_width} * 4; ++i)
        {
            const size_t at = size_t{y} * out_width + i / 4;
            const std::uint64_t whole_count = std::uint64_t{counts[at]} * 255;
            row[i] = static_cast<BYTE>((sums[at * 4 + i % 4] + whole_count / 2) / whole_count);
        }
    }
    GdipBitmapUnlockBits(scaled.get(), &pixels);
    return scaled;
}
} // namespace

icon_source load_icon_source(const std::wstring& path)
{
    icon_source source;
    const auto bytes = read_within_limit(path, source.refusal);
    const auto declared = bytes ? read_image_dimensions(*bytes) : std::nullopt;
    if (!declared)
    {
        return source;
    }
    if (std::uint64_t{declared->width} * declared->height > icon_source_pixel_limit)
    {
        source.refusal = fmt::format("{} x {} pixels, above the limit of {}", declared->width,
                                     declared->height, icon_source_pixel_limit);
        return source;
    }
    // Taken over as it comes, with its one reference (MinGW's ComPtr::Attach would add one).
    *source.stream.ReleaseAndGetAddressOf() =
        SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes->data()), static_cast<UINT>(bytes->size()));
    GpBitmap* decoded = nullptr;
    if (!source.stream || GdipCreateBitmapFromStream(source.stream.Get(), &decoded) != Ok)
    {
        return source;
    }
    source.bitmap.reset(decoded);
    UINT width = 0;
    UINT height = 0;
    if (!image_size(decoded, width, height))
    {
        source.bitmap.reset();
    }
    else if (width > largest_icon_side || height > largest_icon_side)
    {
        source.bitmap = scaled_to_fit(decoded, width, height);
    }
    return source;
}
} // namespace tag_extension
