#include "TagShellExtension/icons/tagged_icon.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstring>
#include <functional>
#include <iterator>

namespace
{
namespace fs = std::filesystem;
using namespace Gdiplus;
using namespace Gdiplus::DllExports;
using namespace tag_extension;

constexpr ARGB blue = 0xFF0000FF;
constexpr ARGB green = 0xFF00FF00;
constexpr ARGB red = 0xFFFF0000;

// Written the way the product writes its own icons: one PNG image in an icon file.
void write_icon(const fs::path& path, int width, int height, const std::function<ARGB(int x, int y)>& pixel)
{
    GpBitmap* bitmap = nullptr;
    GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    const bitmap_ptr owner(bitmap);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            GdipBitmapSetPixel(bitmap, x, y, pixel(x, y));
        }
    }
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(save_png_icon(bitmap, path.wstring()));
}

struct written_icon
{
    bitmap_ptr image;
    UINT width = 0;
    UINT height = 0;
    ARGB at(int x, int y) const
    {
        ARGB colour = 0;
        GdipBitmapGetPixel(image.get(), x, y, &colour);
        return colour;
    }
};

// Decodes the PNG behind the 22-byte icon header and checks the header describes it (256 is 0).
written_icon read_icon(const fs::path& path)
{
    const auto bytes = test_support::read_file(path);
    const std::string png = bytes.size() > 22 ? bytes.substr(22) : std::string();
    IStream* stream =
        SHCreateMemStream(reinterpret_cast<const BYTE*>(png.data()), static_cast<UINT>(png.size()));
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromStream(stream, &bitmap), Ok) << path;
    stream->Release();
    written_icon icon{bitmap_ptr(bitmap)};
    GdipGetImageWidth(bitmap, &icon.width);
    GdipGetImageHeight(bitmap, &icon.height);
    const auto size = static_cast<std::uint32_t>(png.size());
    std::string header("\0\0\1\0\1\0wh\0\0\1\0\x20\0size\x16\0\0\0", 22);
    header[6] = static_cast<char>(icon.width % 256);
    header[7] = static_cast<char>(icon.height % 256);
    std::memcpy(&header[14], &size, 4);
    EXPECT_EQ(bytes.substr(0, 22), header);
    return icon;
}

// Gives the file the write time of `like`, plus the given seconds. Both are set, because the
// library's times are coarser than the system's.
void set_write_time(const fs::path& path, const fs::path& like, int seconds)
{
    const auto time = fs::last_write_time(like);
    fs::last_write_time(like, time);
    fs::last_write_time(path, time + std::chrono::seconds(seconds));
}

// A copy of the DLL in a scratch folder, so that each test supplies its own check mark.
class tagged_icon : public testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(cache);
        write_icon(mark, 16, 16, [](int, int) { return red; });
        fs::copy_file(test_support::executable_folder() / L"TagShellExtension.dll",
                      scratch / L"module/copy.dll");
        module = LoadLibraryExW((scratch / L"module/copy.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override { FreeLibrary(module); }

    fs::path source(const fs::path& name, int width, int height, ARGB colour)
    {
        write_icon(scratch / L"sources" / name, width, height, [colour](int, int) { return colour; });
        return scratch / L"sources" / name;
    }
    std::wstring generate(const fs::path& source_icon)
    {
        return generate_tagged_icon(module, source_icon.wstring(), cache);
    }
    std::ptrdiff_t cache_files() const
    {
        return std::distance(fs::directory_iterator(cache), fs::directory_iterator());
    }

    test_support::scratch_folder scratch;
    gdiplus_session gdiplus;
    HMODULE module = nullptr;
    fs::path cache = scratch / L"cache";
    const fs::path mark = scratch / L"module/Content/Icons/check_mark_for_icon_overlay.ico";
};

TEST_F(tagged_icon, mark_covers_three_quarters_of_the_shorter_side_at_the_top_left_and_nothing_else)
{
    for (const auto& [width, height, side] : {std::tuple{48, 48, 36}, {20, 32, 15}, {256, 256, 192}})
    {
        const auto icon = read_icon(generate(source(std::to_wstring(width) + L".ico", width, height, blue)));
        int wrong = 0;
        for (int y = 0; y < height; ++y)
        {
            for (int x = 0; x < width; ++x)
            {
                wrong += icon.at(x, y) != (x < side && y < side ? red : blue);
            }
        }
        EXPECT_EQ(wrong, 0) << width << "x" << height;
    }
}

TEST_F(tagged_icon, only_the_visible_part_of_the_mark_is_stretched_and_a_mark_without_one_is_drawn_whole)
{
    // Alpha 8 does not count as visible. Wine's GDI+ blends the square's last rows and columns.
    write_icon(mark, 32, 32,
               [](int x, int y) { return x >= 8 && x < 24 && y >= 8 && y < 24 ? red : 0x0800FF00u; });
    const auto middle = read_icon(generate(source(L"middle.ico", 48, 48, blue)));
    EXPECT_TRUE(middle.at(0, 0) == red && middle.at(33, 0) == red && middle.at(0, 33) == red);
    EXPECT_TRUE(middle.at(33, 33) == red && middle.at(36, 36) == blue);
    write_icon(mark, 32, 32, [](int x, int) { return x < 16 ? 0x08FF0000u : 0u; });
    const auto faint = read_icon(generate(source(L"faint.ico", 48, 48, blue)));
    EXPECT_TRUE((faint.at(4, 30) & 0x00FF0000u) != 0 && faint.at(31, 30) == blue)
        << std::hex << faint.at(4, 30);
}

// Fails the nth write of an icon file, or writes only half of it.
int failing_write = 0;
bool short_write = false;
BOOL WINAPI faulty_write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (--failing_write != 0 || short_write)
    {
        return WriteFile(file, data, failing_write != 0 ? size : size / 2, written, overlapped);
    }
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST_F(tagged_icon,
       each_source_path_has_a_cache_file_kept_until_the_source_is_newer_and_a_failed_write_spares_it)
{
    EXPECT_EQ(tagged_icon_file_name(L"C:\\Icons\\Tag Holiday.ico"),
              L"Tag Holiday_8c155f4414f3465b_generated-tagged.ico");
    EXPECT_EQ(tagged_icon_file_name(L"c:\\icons\\tag holiday.ico"),
              L"tag holiday_5207238d4996f31b_generated-tagged.ico");
    EXPECT_NE(generate(source(L"other/tag.ico", 48, 48, blue)), L"");
    const auto tag = source(L"tag.ico", 48, 48, blue);
    const fs::path result = generate(tag);
    EXPECT_EQ(result.parent_path(), cache);

    source(L"tag.ico", 48, 48, green);
    set_write_time(tag, result, 0);
    EXPECT_EQ(generate(tag), result.wstring());
    set_write_time(tag, result, 1);
    for (const auto& [write, is_short] : {std::pair{1, false}, {2, false}, {2, true}})
    {
        failing_write = write;
        short_write = is_short;
        icon_file_functions().write_file = &faulty_write;
        EXPECT_EQ(generate(tag), L"") << write << is_short;
        icon_file_functions() = {};
        EXPECT_EQ(cache_files(), 2);
        EXPECT_EQ(read_icon(result).at(40, 40), blue);
    }
    EXPECT_EQ(generate(tag), result.wstring());
    EXPECT_EQ(read_icon(result).at(40, 40), green);
}

TEST_F(tagged_icon, missing_files_give_no_icon_and_file_system_errors_are_logged)
{
    const auto tag = source(L"tag.ico", 16, 16, blue);
    EXPECT_EQ(generate(scratch / L"no folder" / L"missing.ico"), L"");
    fs::remove(mark);
    EXPECT_EQ(generate(tag), L"");
    EXPECT_EQ(cache_files(), 0);
    const test_support::log_mark log;
    cache = scratch.write(L"blocker") / L"cache";
    EXPECT_EQ(generate(tag), L"");
    EXPECT_NE(log.new_text().find("[ERROR] Failed to generate tagged icon. Details: "), std::string::npos);
}
} // namespace
