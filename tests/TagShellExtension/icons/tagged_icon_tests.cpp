#include "TagShellExtension/icons/tagged_icon.h"
#include "support/extension_dll.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <tuple>

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
    GpBitmap* bitmap = nullptr;
    GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    const bitmap_ptr owner(bitmap);
    for (int i = 0; i < width * height; ++i)
    {
        GdipBitmapSetPixel(bitmap, i % width, i / width, pixel(i % width, i / width));
    }
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(save_png_icon(bitmap, path.wstring()));
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
        module = LoadLibraryExW((scratch / L"module/copy.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override { FreeLibrary(module); }

    fs::path source(const fs::path& name, int width, int height, ARGB colour)
    {
        return write_icon(scratch / L"sources" / name, width, height, [colour](int, int) { return colour; });
    }
    std::wstring generate(const fs::path& icon) { return generate_tagged_icon(module, icon, cache); }

    test_support::scratch_folder scratch;
    gdiplus_session gdiplus;
    HMODULE module = nullptr;
    fs::path cache = scratch / L"cache";
    const fs::path mark = scratch / L"module/Content/Icons/check_mark_for_icon_overlay.ico";
};

TEST_F(tagged_icon, one_png_image_carries_the_mark_on_three_quarters_of_the_shorter_side_at_the_top_left_only)
{
    for (const auto& [width, height, side] : {std::tuple{48, 48, 36}, {20, 32, 15}, {256, 256, 192}})
    {
        const auto path = generate(source(std::to_wstring(width) + L".ico", width, height, blue));
        // The icon header describes the one PNG image behind it; a side of 256 is written as 0.
        const auto bytes = test_support::read_file(path);
        const auto size = static_cast<std::uint32_t>(bytes.size() - 22);
        std::string header("\0\0\1\0\1\0wh\0\0\1\0\x20\0size\x16\0\0\0", 22);
        header[6] = static_cast<char>(width % 256);
        header[7] = static_cast<char>(height % 256);
        std::memcpy(&header[14], &size, 4);
        EXPECT_EQ(bytes.substr(0, 22), header);
        const auto icon = load_bitmap(path);
        int wrong = 0;
        for (int i = 0; i < width * height; ++i)
        {
            wrong += at(icon, i % width, i / width) != (i % width < side && i / width < side ? red : blue);
        }
        EXPECT_EQ(wrong, 0) << width << "x" << height;
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

// Fails the nth write of an icon file, or writes only half of it.
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
    fs::last_write_time(tag, generated + std::chrono::seconds(1));
    for (const auto& fault : {std::pair{1, false}, {2, false}, {2, true}})
    {
        std::tie(failing_write, short_write) = fault;
        icon_file_functions().write_file = &faulty_write;
        EXPECT_EQ(generate(tag), L"") << fault.first << fault.second;
        icon_file_functions() = {};
        EXPECT_EQ(std::distance(fs::directory_iterator(cache), {}), 2);
        EXPECT_EQ(at(load_bitmap(result), 40, 40), blue);
    }
    EXPECT_EQ(generate(tag), result);
    EXPECT_EQ(at(load_bitmap(result), 40, 40), green);
    fs::remove(mark);
    EXPECT_EQ(generate(source(L"new.ico", 16, 16, blue)), L"");
    EXPECT_EQ(std::distance(fs::directory_iterator(cache), {}), 2);
}

} // namespace
