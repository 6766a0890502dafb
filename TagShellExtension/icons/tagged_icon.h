#pragma once

#include "TagShellExtension/icons/gdiplus_headers.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tag_extension
{
struct gdiplus_image_deleter
{
    void operator()(Gdiplus::GpImage* image) const noexcept;
};
using bitmap_ptr = std::unique_ptr<Gdiplus::GpBitmap, gdiplus_image_deleter>;

// GDI+ for the lifetime of the object; a failed start-up makes every later GDI+ call fail.
class gdiplus_session
{
public:
    gdiplus_session();
    ~gdiplus_session();
    gdiplus_session(const gdiplus_session&) = delete;
    gdiplus_session& operator=(const gdiplus_session&) = delete;

private:
    ULONG_PTR token_ = 0;
};

struct icon_rect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Pixels with an alpha above this take part in the check mark's visible bounds.
inline constexpr int visible_alpha_threshold = 8;

// Null when GDI+ cannot decode the file; GDI+ picks the image of a multi-image icon.
bitmap_ptr load_bitmap(const std::wstring& path);
// Bounds of the pixels whose alpha exceeds the threshold; the whole bitmap when there are none.
icon_rect visible_bounds(Gdiplus::GpBitmap* bitmap);
// Stretches the visible part of the mark over the top-left three quarters of the icon.
bool draw_check_mark(Gdiplus::GpBitmap* icon, Gdiplus::GpBitmap* mark);
// Writes an icon file holding the bitmap as one PNG image. The file appears complete or
// not at all: it is written beside the target under a temporary name and moved over it.
bool save_png_icon(Gdiplus::GpBitmap* bitmap, const std::wstring& path);

// 64-bit FNV-1a over the UTF-16LE bytes of the text.
std::uint64_t fnv1a_64(std::wstring_view text);
// "{stem}_{hash:016x}_generated-tagged.ico" for the source path exactly as given.
std::wstring tagged_icon_file_name(std::wstring_view source_icon);

// Path of the check-marked copy of the source icon in the product's generated content
// folder, made when missing or older than the source; empty when none can be made.
std::wstring generate_tagged_icon(HMODULE module, const std::wstring& source_icon);
// The same with the cache in the given folder (made when missing).
std::wstring generate_tagged_icon(HMODULE module, const std::wstring& source_icon,
                                  const std::filesystem::path& cache_folder);

// The file write of save_png_icon, replaceable because Wine cannot make a write fail.
struct icon_file_api
{
    BOOL(WINAPI* write_file)
    (HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) = &WriteFile;
};
icon_file_api& icon_file_functions();
} // namespace tag_extension
