#include "TagShellExtension/icons/tagged_icon.h"
#include "common/folders.h"
#include "common/logger.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <functional>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using namespace Gdiplus;
using namespace Gdiplus::DllExports;
using tag_extension::bitmap_ptr;

constexpr ARGB blue = 0xFF0000FF;
constexpr ARGB green = 0xFF00FF00;
constexpr ARGB red = 0xFFFF0000;
using pixels = std::function<ARGB(int x, int y)>;

pixels filled(ARGB colour)
{
    return [colour](int, int) { return colour; };
}

// Test images are written as the product writes its own: one PNG image in an icon file.
void write_icon(const fs::path& path, int width, int height, const pixels& pixel)
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
    ASSERT_TRUE(tag_extension::save_png_icon(bitmap, path.wstring()));
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

// Checks the icon header against the image it describes and decodes the PNG behind it.
written_icon read_icon(const fs::path& path)
{
    const auto bytes = test_support::read_file(path);
    written_icon icon;
    if (bytes.size() < 22)
    {
        ADD_FAILURE() << "no icon at " << path;
        return icon;
    }
    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()) + 22,
                                        static_cast<UINT>(bytes.size() - 22));
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromStream(stream, &bitmap), Ok) << path;
    stream->Release();
    icon.image.reset(bitmap);
    GdipGetImageWidth(bitmap, &icon.width);
    GdipGetImageHeight(bitmap, &icon.height);
    std::string header("\0\0\1\0\1\0wh\0\0\1\0\x20\0size\x16\0\0\0", 22);
    header[6] = static_cast<char>(icon.width % 256);
    header[7] = static_cast<char>(icon.height % 256);
    for (int i = 0; i < 4; ++i)
    {
        header[14 + i] = static_cast<char>((bytes.size() - 22) >> (8 * i));
    }
    EXPECT_EQ(bytes.substr(0, 22), header);
    return icon;
}

FILETIME write_time(const fs::path& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void set_write_time(const fs::path& path, FILETIME time, DWORD later_by_seconds = 0)
{
    ULARGE_INTEGER value{{time.dwLowDateTime, time.dwHighDateTime}};
    value.QuadPart += later_by_seconds * 10'000'000ULL;
    time = {value.LowPart, value.HighPart};
    HANDLE file =
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

std::vector<fs::path> files_in(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
    {
        files.push_back(entry.path());
    }
    return files;
}

// Routes the shared logger into a scratch file while alive.
struct log_capture
{
    explicit log_capture(fs::path path) : file(std::move(path))
    {
        common::shared_logger() = std::make_shared<common::plain_text_logger>();
        common::shared_logger()->open(file.wstring());
    }
    ~log_capture() { common::shared_logger() = saved; }
    std::string text() const { return test_support::read_file(file); }

    fs::path file;
    std::shared_ptr<common::plain_text_logger> saved = common::shared_logger();
};

// A copy of the DLL in a scratch folder, so that each test supplies its own check mark.
class tagged_icon : public testing::Test
{
protected:
    void SetUp() override
    {
        const auto dll = scratch / L"module" / L"copy.dll";
        fs::create_directories(dll.parent_path());
        fs::copy_file(test_support::executable_folder() / L"TagShellExtension.dll", dll);
        module = LoadLibraryExW(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(module, nullptr);
        write_mark(16, 16, filled(red));
        fs::create_directories(cache);
    }
    void TearDown() override { FreeLibrary(module); }

    void write_mark(int width, int height, const pixels& pixel)
    {
        write_icon(scratch / L"module/Content/Icons/check_mark_for_icon_overlay.ico", width, height, pixel);
    }
    fs::path source(const fs::path& name, int width, int height, ARGB colour)
    {
        write_icon(scratch / L"sources" / name, width, height, filled(colour));
        return scratch / L"sources" / name;
    }
    std::wstring generate(const fs::path& source_icon)
    {
        return tag_extension::generate_tagged_icon(module, source_icon.wstring(), cache);
    }

    test_support::scratch_folder scratch;
    tag_extension::gdiplus_session gdiplus;
    HMODULE module = nullptr;
    fs::path cache = scratch / L"cache";
};

TEST_F(tagged_icon, mark_covers_three_quarters_of_the_shorter_side_at_the_top_left_and_nothing_else)
{
    struct size_case
    {
        int width, height, mark;
    };
    for (const auto& [width, height, mark] :
         {size_case{48, 48, 36}, size_case{20, 32, 15}, size_case{256, 256, 192}})
    {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const auto icon = read_icon(generate(source(std::to_wstring(width) + L".ico", width, height, blue)));
        ASSERT_EQ(icon.width, static_cast<UINT>(width));
        ASSERT_EQ(icon.height, static_cast<UINT>(height));
        int wrong = 0;
        for (int y = 0; y < height; ++y)
        {
            for (int x = 0; x < width; ++x)
            {
                if (icon.at(x, y) != (x < mark && y < mark ? red : blue))
                {
                    ++wrong;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(tagged_icon, only_the_visible_part_of_the_mark_is_stretched_over_the_square)
{
    // Opaque red in the middle, alpha 8 (not visible) green around it. Wine's GDI+ blends the
    // last two rows and columns of the square with what lies outside the source rectangle.
    write_mark(32, 32, [](int x, int y) { return x >= 8 && x < 24 && y >= 8 && y < 24 ? red : 0x0800FF00u; });
    const auto icon = read_icon(generate(source(L"middle.ico", 48, 48, blue)));
    for (const auto& [x, y] : {std::pair{0, 0}, {33, 33}, {0, 33}, {33, 0}})
    {
        EXPECT_EQ(icon.at(x, y), red) << x << "," << y;
    }
    EXPECT_EQ(icon.at(36, 36), blue);
}

TEST_F(tagged_icon, mark_without_visible_pixels_is_drawn_whole)
{
    // Faint red on the left half, nothing on the right: the halves split the square.
    write_mark(32, 32, [](int x, int) { return x < 16 ? 0x08FF0000u : 0u; });
    const auto icon = read_icon(generate(source(L"faint.ico", 48, 48, blue)));
    EXPECT_GT(icon.at(4, 30) & 0x00FF0000u, 0u);
    EXPECT_EQ(icon.at(31, 30), blue);
    EXPECT_EQ(icon.at(40, 40), blue);
}

TEST_F(tagged_icon, cache_file_is_named_by_stem_and_hash_of_the_exact_path)
{
    using tag_extension::tagged_icon_file_name;
    EXPECT_EQ(tagged_icon_file_name(L"C:\\Icons\\Tag Holiday.ico"),
              L"Tag Holiday_8c155f4414f3465b_generated-tagged.ico");
    EXPECT_EQ(tagged_icon_file_name(L"c:\\icons\\tag holiday.ico"),
              L"tag holiday_5207238d4996f31b_generated-tagged.ico");
    EXPECT_EQ(tagged_icon_file_name(L"Z:\\\u00dcn\u00efcode\\\u00e9.ico"),
              L"\u00e9_c2a6fde750c0b9b7_generated-tagged.ico");
    for (const auto& [path, stem] :
         std::vector<std::pair<std::wstring, std::wstring>>{{L"C:\\a\\.hidden", L".hidden_"},
                                                            {L"C:\\a\\b.c.ico", L"b.c_"},
                                                            {L"a/b/noext", L"noext_"},
                                                            {L"C:x.ico", L"x_"}})
    {
        EXPECT_TRUE(tagged_icon_file_name(path).starts_with(stem)) << tagged_icon_file_name(path);
    }
}

TEST_F(tagged_icon, each_source_path_has_one_cache_file)
{
    const auto first = source(L"a/tag.ico", 16, 16, blue);
    const auto result = generate(first);
    EXPECT_EQ(generate(first), result);
    const auto other = generate(source(L"b/tag.ico", 16, 16, blue));
    EXPECT_NE(other, result);
    EXPECT_EQ(files_in(cache).size(), 2u);
    EXPECT_EQ(fs::path(other).parent_path(), cache);
}

TEST_F(tagged_icon, cache_file_is_reused_until_the_source_is_newer)
{
    const auto tag = source(L"tag.ico", 48, 48, blue);
    const fs::path result = generate(tag);
    source(L"tag.ico", 48, 48, green);
    set_write_time(tag, write_time(result));
    EXPECT_EQ(generate(tag), result.wstring());
    EXPECT_EQ(read_icon(result).at(40, 40), blue);

    set_write_time(tag, write_time(result), 1);
    EXPECT_EQ(generate(tag), result.wstring());
    EXPECT_EQ(read_icon(result).at(40, 40), green);
}

TEST_F(tagged_icon, missing_files_give_no_icon_quietly_and_file_system_errors_are_logged)
{
    log_capture log(scratch / L"log.txt");
    const auto tag = source(L"tag.ico", 16, 16, blue);
    EXPECT_EQ(generate(L""), L"");
    EXPECT_EQ(generate(scratch / L"sources" / L"missing.ico"), L"");
    EXPECT_EQ(generate(scratch / L"no folder" / L"missing.ico"), L"");
    fs::remove(scratch / L"module/Content/Icons/check_mark_for_icon_overlay.ico");
    EXPECT_EQ(generate(tag), L"");
    EXPECT_TRUE(files_in(cache).empty());
    EXPECT_EQ(log.text(), "");

    cache = scratch.write(L"blocker") / L"cache";
    EXPECT_EQ(generate(tag), L"");
    EXPECT_NE(log.text().find("[ERROR] Failed to generate tagged icon. Details: "), std::string::npos)
        << log.text();
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

TEST_F(tagged_icon, failed_write_leaves_no_partial_file_and_keeps_the_previous_icon)
{
    const auto tag = source(L"tag.ico", 48, 48, blue);
    const fs::path result = generate(tag);
    source(L"tag.ico", 48, 48, green);
    set_write_time(tag, write_time(result), 10);
    for (const auto& [write, is_short] : {std::pair{1, false}, {2, false}, {2, true}})
    {
        SCOPED_TRACE(testing::Message() << "write " << write << (is_short ? " short" : " failed"));
        failing_write = write;
        short_write = is_short;
        tag_extension::icon_file_functions().write_file = &faulty_write;
        EXPECT_EQ(generate(tag), L"");
        tag_extension::icon_file_functions() = {};
        EXPECT_EQ(files_in(cache), std::vector<fs::path>{result});
        EXPECT_EQ(read_icon(result).at(40, 40), blue);
    }
    EXPECT_EQ(generate(tag), result.wstring());
    EXPECT_EQ(read_icon(result).at(40, 40), green);
}

TEST_F(tagged_icon, default_cache_is_the_products_generated_content_folder)
{
    const auto tag = source(L"tag.ico", 16, 16, blue);
    const fs::path result = tag_extension::generate_tagged_icon(module, tag.wstring());
    EXPECT_EQ(result,
              common::product_folder() / L"Content" / tag_extension::tagged_icon_file_name(tag.wstring()));
    EXPECT_TRUE(fs::remove(result));
}
} // namespace
