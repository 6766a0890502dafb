// Reads icon files the way the menu needs them: one image of about 16 pixels, from an .ico
// file or from a PNG or BMP named as one.
#include "menu_icons.h"

#include "common/whole_file.h"

#include <shlwapi.h>
#include <wrl/client.h>

#include <cstring>
#include <optional>
#include <string_view>

namespace tag_menu_host
{
namespace
{
using namespace Gdiplus;

bool is_png(std::string_view bytes)
{
    return bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
}

size_t little_endian(const std::string& bytes, size_t at, size_t width)
{
    size_t value = 0;
    for (size_t i = 0; i < width; ++i)
    {
        value |= static_cast<size_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

// The 16 px image of an icon file, as a file of its own: its PNG, or a one-image icon. Other
// sizes are scaled later: the smallest larger one, else the largest. Empty when the bytes are
// no icon file.
std::string icon_image(const std::string& icon)
{
    if (icon.size() < 6 || little_endian(icon, 0, 2) != 0 || little_endian(icon, 2, 2) != 1)
    {
        return {};
    }
    const size_t count = little_endian(icon, 4, 2);
    std::optional<size_t> best;
    size_t best_size = 0;
    for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= icon.size(); ++i)
    {
        const size_t entry = 6 + 16 * i;
        const size_t offset = little_endian(icon, entry + 12, 4);
        const size_t length = little_endian(icon, entry + 8, 4);
        if (offset > icon.size() || length > icon.size() - offset)
        {
            continue;
        }
        const size_t size = little_endian(icon, entry, 1) == 0 ? 256 : little_endian(icon, entry, 1);
        const bool better = !best || (size >= icon_size && (best_size < icon_size || size < best_size)) ||
                            (size < icon_size && best_size < icon_size && size > best_size);
        if (better)
        {
            best = entry;
            best_size = size;
        }
    }
    if (!best)
    {
        return {};
    }
    const size_t offset = little_endian(icon, *best + 12, 4);
    const size_t length = little_endian(icon, *best + 8, 4);
    std::string image = icon.substr(offset, length);
    if (is_png(image))
    {
        return image;
    }
    // Header, the one directory entry pointing just behind itself, then the image.
    return std::string("\0\0\1\0\1\0", 6) + icon.substr(*best, 12) + std::string("\x16\0\0\0", 4) + image;
}

// "C:\x.ico,-101" names an image inside the file; the file is what we load.
std::wstring icon_file(const std::wstring& location)
{
    const size_t comma = location.find_last_of(L',');
    if (comma == std::wstring::npos || comma < location.find_last_of(L"\\/") + 1 ||
        comma + 1 == location.size())
    {
        return location;
    }
    const std::wstring index = location.substr(comma + 1);
    const bool numeric = std::all_of(index.begin() + (index[0] == L'-' ? 1 : 0), index.end(),
                                     [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    return numeric ? location.substr(0, comma) : location;
}

} // namespace

std::unique_ptr<Bitmap> load_icon(const std::wstring& location)
{
    if (location.empty())
    {
        return nullptr;
    }
    const std::string file = common::read_whole_file(icon_file(location)).bytes;
    std::string image = icon_image(file);
    if (image.empty())
    {
        image = file; // a PNG or BMP named as an icon
    }
    if (image.empty())
    {
        return nullptr;
    }
    Microsoft::WRL::ComPtr<IStream> stream;
    *stream.ReleaseAndGetAddressOf() =
        SHCreateMemStream(reinterpret_cast<const BYTE*>(image.data()), static_cast<UINT>(image.size()));
    if (!stream)
    {
        return nullptr;
    }
    std::unique_ptr<Bitmap> source(Bitmap::FromStream(stream.Get()));
    if (!source || source->GetLastStatus() != Ok || source->GetWidth() == 0 || source->GetHeight() == 0)
    {
        return nullptr;
    }
    // A copy of our own, so nothing refers to the stream afterwards.
    auto icon = std::make_unique<Bitmap>(icon_size, icon_size, PixelFormat32bppPARGB);
    Graphics graphics(icon.get());
    graphics.Clear(Color(0, 0, 0, 0));
    graphics.SetInterpolationMode(source->GetWidth() == icon_size && source->GetHeight() == icon_size
                                      ? InterpolationModeNearestNeighbor
                                      : InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(PixelOffsetModeHalf);
    graphics.DrawImage(source.get(), Rect(0, 0, icon_size, icon_size), 0, 0,
                       static_cast<INT>(source->GetWidth()), static_cast<INT>(source->GetHeight()),
                       UnitPixel);
    return graphics.GetLastStatus() == Ok ? std::move(icon) : nullptr;
}
} // namespace tag_menu_host
