#include "bench/figures.h"

#include "bench/inputs.h"
#include "bench/measuring.h"
#include "TagShellExtension/icons/gdiplus_bitmap.h"
#include "TagShellExtension/icons/png_icon_file.h"
#include "TagShellExtension/icons/tagged_icon_cache.h"
#include "common/folders.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <algorithm>

namespace tag_bench
{
using namespace tag_extension;

namespace
{
// An icon file with one PNG image of the given size, drawn as a smooth gradient.
std::filesystem::path gradient_icon(const test_support::scratch_folder& scratch, int side)
{
    const auto path = scratch / fmt::format(L"gradient {}.ico", side);
    const gdiplus_session gdiplus;
    const auto bitmap = blank_bitmap(side, side);
    Gdiplus::GpRect area(0, 0, side, side);
    Gdiplus::BitmapData data{};
    Gdiplus::DllExports::GdipBitmapLockBits(bitmap.get(), &area, Gdiplus::ImageLockModeWrite,
                                            PixelFormat32bppARGB, &data);
    for (int y = 0; y < side; ++y)
    {
        auto* row =
            reinterpret_cast<UINT*>(static_cast<BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride);
        for (int x = 0; x < side; ++x)
        {
            row[x] = 0xFF000000u | (static_cast<UINT>(x * 255 / side) << 16) |
                     (static_cast<UINT>(y * 255 / side) << 8);
        }
    }
    Gdiplus::DllExports::GdipBitmapUnlockBits(bitmap.get(), &data);
    save_png_icon(bitmap.get(), path.wstring());
    return path;
}
} // namespace

bool tagged_icon_figure(const test_support::scratch_folder& scratch, int runs)
{
    const auto shipped = common::module_folder() / L"Content" / L"Icons" / L"tag_work.ico";
    const std::wstring source = scratch.write(L"bench icon.ico", test_support::read_file(shipped)).wstring();
    const HMODULE module = common::module_handle();
    const std::wstring cached = generate_tagged_icon(module, source);
    auto hit = [&] { generate_tagged_icon(module, source); };
    auto fresh = [&]
    {
        DeleteFileW(cached.c_str());
        const double start = now_us();
        generate_tagged_icon(module, source);
        return now_us() - start;
    };
    figure timing;
    for (int run = 0; run < runs; ++run)
    {
        double total = 0;
        for (int i = 0; i < 5; ++i)
        {
            total += fresh();
        }
        timing.add(time_us(500, hit), total / 5);
    }
    const bool met = report("5. Tagged icon: cache hit against fresh generation", timing, "fresh", 0.05);
    print_cost("one cache hit", cost_of(hit));
    fmt::print("    cache file: {}\n\n", cached.empty() ? "NONE (unexpected)" : "made");
    DeleteFileW(cached.c_str());
    return met && !cached.empty();
}

void largest_icon_figure(const test_support::scratch_folder& scratch, int runs)
{
    const auto largest = gradient_icon(scratch, 4096);
    const auto small = gradient_icon(scratch, 48);
    const auto cache = scratch / L"largest icon cache";
    const HMODULE module = common::module_handle();
    auto fresh = [&](const std::filesystem::path& source)
    {
        std::filesystem::remove_all(cache);
        const double start = now_us();
        generate_tagged_icon(module, source.wstring(), cache);
        return now_us() - start;
    };
    figure timing;
    for (int run = 0; run < std::max(3, runs / 2); ++run)
    {
        timing.add(fresh(largest), fresh(small));
    }
    const auto largest_made = generate_tagged_icon(module, largest.wstring(), cache);
    report("8. Tagged icon made from a 4096 x 4096 source, against a 48 px one", timing, "48 px", 0);
    fmt::print("    source: {} bytes; icon made: {} bytes\n\n", std::filesystem::file_size(largest),
               largest_made.empty() ? 0 : std::filesystem::file_size(largest_made));
}
} // namespace tag_bench
