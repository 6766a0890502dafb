#include "TagShellExtension/icons/tagged_icon_cache.h"
#include "TagShellExtension/icons/gdiplus_bitmap.h"
#include "TagShellExtension/icons/image_dimensions.h"
#include "TagShellExtension/icons/png_icon_file.h"
#include "common/unique_resources.h"
#include "common/whole_file.h"
#include "support/extension_dll.h"
#include "support/product_files.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <tuple>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using namespace Gdiplus;
using namespace Gdiplus::DllExports;
using namespace tag_extension;

constexpr ARGB blue = 0xFF0000FF, green = 0xFF00FF00, red = 0xFFFF0000;

// Written the way the product writes its own icons: one PNG image in an icon file.
fs::path write_icon(const fs::path& path, int width, int height, const std::function<ARGB(int, int)>& pixel)
{
    const auto bitmap = blank_bitmap(width, height);
    for (int i = 0; i < width * height; ++i)
    {
        GdipBitmapSetPixel(bitmap.get(), i % width, i / width, pixel(i % width, i / width));
    }
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(save_png_icon(bitmap.get(), path.wstring()));
    return path;
}

ARGB at(const bitmap_ptr& icon, int x, int y)
{
    ARGB colour = 0;
    return GdipBitmapGetPixel(icon.get(), x, y, &colour), colour;
}

// A copy of the DLL in a scratch folder, so that each test supplies its own check mark.
struct tagged_icon : testing::Test
{
    void SetUp() override
    {
        write_icon(mark, 16, 16, [](int, int) { return red; });
        fs::copy_file(test_support::dll_path(), scratch / L"module/copy.dll");
        module.reset(
            LoadLibraryExW((scratch / L"module/copy.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
        ASSERT_TRUE(module);
    }

    fs::path source(const fs::path& name, int width, int height, ARGB colour)
    {
        return write_icon(scratch / L"sources" / name, width, height, [colour](int, int) { return colour; });
    }
    std::wstring generate(const fs::path& icon) { return generate_tagged_icon(module.get(), icon, cache); }

    test_support::scratch_folder scratch;
    gdiplus_session gdiplus;
    common::unique_hmodule module;
    fs::path cache = scratch / L"cache";
    const fs::path mark = scratch / L"module/Content/Icons/check_mark_for_icon_overlay.ico";
};

TEST_F(
    tagged_icon,
    one_png_image_of_at_most_256_pixels_carries_the_mark_on_three_quarters_of_the_shorter_side_at_the_top_left)
{
    // Larger sources are scaled down to fit 256 x 256 first, keeping their aspect.
    for (const auto& [source_width, source_height, width, height, side] : {std::tuple{48u, 48u, 48u, 48u, 36},
                                                                           {20, 32, 20, 32, 15},
                                                                           {256, 256, 256, 256, 192},
                                                                           {600, 300, 256, 128, 96}})
    {
        const auto path =
            generate(source(std::to_wstring(source_width) + L".ico", source_width, source_height, blue));
        EXPECT_EQ(read_image_dimensions(test_support::read_file(path)), (image_dimensions{width, height}));
        // The mark's last pixel, the source's first beyond it either way, and the far corner.
        const auto icon = load_bitmap(path);
        EXPECT_EQ(std::tuple(at(icon, side - 1, side - 1), at(icon, side, 0), at(icon, 0, side),
                             at(icon, width - 1, height - 1)),
                  std::tuple(red, blue, blue, blue))
            << width << "x" << height;
    }
    // Only the visible part of a mark is stretched (alpha 8 is not visible); a mark without one is
    // drawn whole. Wine's GDI+ blends the square's last rows and columns.
    write_icon(mark, 32, 32,
               [](int x, int y) { return x >= 8 && x < 24 && y >= 8 && y < 24 ? red : 0x0800FF00u; });
    const auto middle = load_bitmap(generate(source(L"middle.ico", 48, 48, blue)));
    EXPECT_TRUE(at(middle, 0, 0) == red && at(middle, 33, 33) == red && at(middle, 36, 36) == blue);
    write_icon(mark, 32, 32, [](int x, int) { return x < 16 ? 0x08FF0000u : 0u; });
    const auto faint = load_bitmap(generate(source(L"faint.ico", 48, 48, blue)));
    EXPECT_TRUE((at(faint, 4, 30) & 0x00FF0000u) != 0 && at(faint, 31, 30) == blue);
}

// Fails the nth write of an icon file, or writes only half of it; counts the writes down.
int failing_write = 0;
bool short_write = false;
BOOL WINAPI faulty_write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED)
{
    const bool faulty = --failing_write == 0;
    SetLastError(ERROR_DISK_FULL);
    return faulty && !short_write ? FALSE : WriteFile(file, data, faulty ? size / 2 : size, written, nullptr);
}

TEST_F(tagged_icon,
       each_source_path_has_a_cache_file_kept_until_the_source_is_newer_and_a_failed_write_spares_it)
{
    EXPECT_EQ(generate(scratch / L"no folder" / L"missing.ico"), L"");
    EXPECT_NE(generate(source(L"other/tag.ico", 48, 48, blue)), L"");
    const auto tag = source(L"tag.ico", 48, 48, blue);
    const std::wstring result = generate(tag);

    // A source as old as its cached copy keeps it. Both times are set: the library's are coarser.
    source(L"tag.ico", 48, 48, green);
    const auto generated = fs::last_write_time(result);
    fs::last_write_time(result, generated);
    fs::last_write_time(tag, generated);
    EXPECT_EQ(generate(tag), result);
    // A failed generation is tried again only once the source changes.
    auto touched = generated;
    for (const bool half_written : {false, true})
    {
        fs::last_write_time(tag, touched += std::chrono::seconds(1));
        std::tie(failing_write, short_write) = std::pair{1, half_written};
        const test_support::scoped_seam faulty(common::file_write_functions(), {&faulty_write});
        EXPECT_EQ(generate(tag), L"") << half_written;
        failing_write = 10;
        EXPECT_EQ(generate(tag), L"");
        EXPECT_EQ(failing_write, 10);
        EXPECT_EQ(std::distance(fs::directory_iterator(cache), {}), 2);
        EXPECT_EQ(at(load_bitmap(result), 40, 40), blue);
    }
    fs::last_write_time(tag, touched + std::chrono::seconds(1));
    EXPECT_EQ(generate(tag), result);
    EXPECT_EQ(at(load_bitmap(result), 40, 40), green);
    fs::remove(mark);
    EXPECT_EQ(generate(source(L"new.ico", 16, 16, blue)), L"");
    EXPECT_EQ(std::distance(fs::directory_iterator(cache), {}), 2);
}

TEST_F(tagged_icon,
       a_source_too_costly_to_decode_or_a_cache_folder_that_cannot_be_made_logs_one_error_for_two_asks)
{
    const auto small = source(L"small.png", 16, 16, blue);
    std::string png = test_support::read_file(small).substr(22);
    std::string many_pixels = png; // its header says 5000 x 5000
    many_pixels.replace(16, 8, std::string("\0\0\x13\x88\0\0\x13\x88", 8));
    const auto blocked = scratch.write(L"blocker", "a file where the cache folder should be") / L"Tagged";
    const std::tuple<fs::path, fs::path, const char*> rows[] = {
        {scratch.write(L"many pixels.png", many_pixels), cache, "[ERROR] Tagged icon not made from"},
        {scratch.write(L"many bytes.png", png + std::string(4 * 1024 * 1024, '\0')), cache,
         "[ERROR] Tagged icon not made from"},
        {small, blocked, "[ERROR] Failed to generate tagged icon. Details:"},
    };
    for (const auto& [path, folder, error] : rows)
    {
        cache = folder;
        const test_support::log_mark log;
        EXPECT_EQ(generate(path), L"");
        EXPECT_EQ(generate(path), L"");
        const auto lines = log.new_text();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
        EXPECT_NE(lines.find(error), std::string::npos) << lines;
    }
}

TEST(image_dimensions, are_read_from_the_headers_of_every_format_gdiplus_writes_and_not_from_a_cut_header)
{
    const gdiplus_session gdiplus;
    const auto bitmap = blank_bitmap(300, 200);
    UINT count = 0, size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    ASSERT_EQ(GdipGetImageEncoders(count, size, codecs), Ok);
    ASSERT_GE(count, 5u); // BMP, JPEG, GIF, TIFF, PNG
    const test_support::scratch_folder scratch;
    for (UINT i = 0; i < count; ++i)
    {
        const auto path = scratch / std::to_wstring(i);
        ASSERT_EQ(GdipSaveImageToFile(bitmap.get(), path.c_str(), &codecs[i].Clsid, nullptr), Ok);
        const auto bytes = test_support::read_file(path);
        EXPECT_EQ(read_image_dimensions(bytes), (image_dimensions{300, 200})) << codecs[i].MimeType;
        EXPECT_EQ(read_image_dimensions(bytes.substr(0, 8)), std::nullopt) << codecs[i].MimeType;
    }
}
} // namespace
