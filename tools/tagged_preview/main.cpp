// Writes a contact sheet of every default tag icon, plain and check-marked by the real
// generator, at the menu sizes on a light and a dark background.
//   tagged_preview [output.png]   (default: tagged_preview.png in the current folder)
#include "TagShellExtension/icons/command_icons.h"
#include "TagShellExtension/icons/tagged_icon_cache.h"
#include "TagShellExtension/icons/gdiplus_bitmap.h"
#include "TagShellExtension/icons/png_icon_file.h"
#include "common/whole_file.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using namespace Gdiplus;
using namespace Gdiplus::DllExports;

// The image of the given size from a multi-image icon file, as a one-image icon file, so
// that the generator sees that size whichever image the decoder would pick.
std::string icon_frame(const std::string& icon, int size)
{
    const auto byte = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(icon[i])); };
    const auto u32 = [&](size_t i)
    { return byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24; };
    for (size_t i = 0, count = byte(4) | byte(5) << 8; i < count && 22 + 16 * i <= icon.size(); ++i)
    {
        const size_t entry = 6 + 16 * i;
        if (byte(entry) == static_cast<size_t>(size % 256))
        {
            return std::string("\0\0\1\0\1\0", 6) + icon.substr(entry, 12) + std::string("\x16\0\0\0", 4) +
                   icon.substr(u32(entry + 12), u32(entry + 8));
        }
    }
    return {};
}

int write_preview(const fs::path& output, const fs::path& work)
{
    const HMODULE executable = GetModuleHandleW(nullptr); // its Content holds the shipped check mark
    const auto icon_folder = fs::path(tag_extension::check_mark_icon_path(executable)).parent_path();
    std::vector<fs::path> icons;
    for (const auto& entry : fs::directory_iterator(icon_folder))
    {
        const auto name = entry.path().filename().wstring();
        if (name.starts_with(L"tag_") && !name.starts_with(L"tag_action") &&
            entry.path().extension() == L".ico")
        {
            icons.push_back(entry.path());
        }
    }
    std::sort(icons.begin(), icons.end());
    if (icons.empty())
    {
        std::fprintf(stderr, "no tag icons in %ls\n", icon_folder.c_str());
        return 1;
    }

    const int sizes[] = {16, 24, 32, 48};
    const int cell = 56, panel = 8 * cell + 16;
    const int height = static_cast<int>(icons.size()) * cell + 16;
    const tag_extension::bitmap_ptr sheet = tag_extension::blank_bitmap(2 * panel, height);
    tag_extension::graphics_ptr drawing = tag_extension::graphics_of(sheet.get());
    GpGraphics* const graphics = drawing.get();
    if (graphics == nullptr)
    {
        std::fprintf(stderr, "cannot draw the sheet\n");
        return 1;
    }
    GdipSetInterpolationMode(graphics, InterpolationModeNearestNeighbor);
    GdipGraphicsClear(graphics, 0xFFF3F3F3);
    tag_extension::unique_gdiplus<GpSolidFill, &GdipDeleteBrush> dark;
    GdipCreateSolidFill(0xFF202020, dark.put());
    GdipFillRectangleI(graphics, dark.get(), panel, 0, panel, height);

    int failures = 0;
    for (size_t row = 0; row < icons.size(); ++row)
    {
        const auto bytes = common::read_whole_file(icons[row].wstring()).bytes;
        for (int column = 0; column < 4; ++column)
        {
            const int size = sizes[column];
            const auto frame = work / (icons[row].stem().wstring() + L"_" + std::to_wstring(size) + L".ico");
            common::write_whole_file(frame.wstring(), icon_frame(bytes, size));
            const auto tagged =
                tag_extension::generate_tagged_icon(executable, frame.wstring(), work / L"cache");
            const auto plain_image = tag_extension::load_bitmap(frame.wstring());
            const auto tagged_image = tag_extension::load_bitmap(tagged);
            if (!plain_image || !tagged_image)
            {
                std::fprintf(stderr, "no tagged icon for %ls\n", frame.c_str());
                ++failures;
                continue;
            }
            for (int background = 0; background < 2; ++background)
            {
                const int x = background * panel + 8 + column * 2 * cell + (cell - size) / 2;
                const int y = 8 + static_cast<int>(row) * cell + (cell - size) / 2;
                GdipDrawImageRectI(graphics, plain_image.get(), x, y, size, size);
                GdipDrawImageRectI(graphics, tagged_image.get(), x + cell, y, size, size);
            }
        }
    }
    drawing.reset();

    // The generator's own writer gives an icon file whose image is the PNG behind its header.
    const auto packed = work / L"sheet.ico";
    if (!tag_extension::save_png_icon(sheet.get(), packed.wstring()))
    {
        std::fprintf(stderr, "cannot encode the sheet\n");
        return 1;
    }
    const auto png = common::read_whole_file(packed.wstring()).bytes.substr(22);
    if (common::write_whole_file(output.wstring(), png) != common::write_outcome::written)
    {
        std::fprintf(stderr, "cannot write %ls\n", output.c_str());
        return 1;
    }
    std::printf("wrote %ls\n", fs::absolute(output).c_str());
    return failures == 0 ? 0 : 1;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const fs::path output = argc > 1 ? argv[1] : L"tagged_preview.png";
    const auto work =
        fs::temp_directory_path() / (L"tagged-preview-" + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(work / L"cache");
    int result = 1;
    {
        tag_extension::gdiplus_session gdiplus;
        result = write_preview(output, work);
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return result;
}
