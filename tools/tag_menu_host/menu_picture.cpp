#include "menu_picture.h"

namespace tag_menu_host
{
using namespace Gdiplus;

namespace
{
// GDI+'s own PNG encoder, the same in every GDI+ there is.
constexpr CLSID png_encoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
} // namespace

std::unique_ptr<Bitmap> shrink(Bitmap& large, int factor, int width, int height)
{
    auto small = std::make_unique<Bitmap>(width, height, PixelFormat32bppPARGB);
    Rect large_area(0, 0, width * factor, height * factor), small_area(0, 0, width, height);
    BitmapData in{}, out{};
    if (large.LockBits(&large_area, ImageLockModeRead, PixelFormat32bppPARGB, &in) != Ok)
    {
        return nullptr;
    }
    if (small->LockBits(&small_area, ImageLockModeWrite, PixelFormat32bppPARGB, &out) != Ok)
    {
        large.UnlockBits(&in);
        return nullptr;
    }
    const auto* source = static_cast<const BYTE*>(in.Scan0);
    auto* target = static_cast<BYTE*>(out.Scan0);
    const unsigned count = static_cast<unsigned>(factor * factor);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            unsigned sums[4] = {0, 0, 0, 0};
            for (int dy = 0; dy < factor; ++dy)
            {
                const BYTE* pixel =
                    source + static_cast<ptrdiff_t>(y * factor + dy) * in.Stride + x * factor * 4;
                for (int dx = 0; dx < factor * 4; ++dx)
                {
                    sums[dx % 4] += pixel[dx];
                }
            }
            BYTE* result = target + static_cast<ptrdiff_t>(y) * out.Stride + x * 4;
            for (int channel = 0; channel < 4; ++channel)
            {
                result[channel] = static_cast<BYTE>((sums[channel] + count / 2) / count);
            }
        }
    }
    small->UnlockBits(&out);
    large.UnlockBits(&in);
    return small;
}

std::wstring save_png(Bitmap& picture, const std::wstring& path)
{
    const std::wstring pending = path + L".partial";
    if (picture.Save(pending.c_str(), &png_encoder, nullptr) != Ok)
    {
        DeleteFileW(pending.c_str());
        return L"cannot write " + path;
    }
    if (!MoveFileExW(pending.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
    {
        DeleteFileW(pending.c_str());
        return L"cannot write " + path;
    }
    return {};
}
} // namespace tag_menu_host
