#include "TagShellExtension/icons/tagged_icon.h"

#include "TagShellExtension/icons/command_icons.h"
#include "common/folders.h"
#include "common/logger.h"

#include <wrl/client.h>

#include <array>
#include <cwchar>
#include <mutex>
#include <system_error>
#include <vector>

namespace tag_extension
{
using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace
{
struct graphics_deleter
{
    void operator()(GpGraphics* graphics) const noexcept { GdipDeleteGraphics(graphics); }
};
using graphics_ptr = std::unique_ptr<GpGraphics, graphics_deleter>;

struct attributes_deleter
{
    void operator()(GpImageAttributes* attributes) const noexcept { GdipDisposeImageAttributes(attributes); }
};
using attributes_ptr = std::unique_ptr<GpImageAttributes, attributes_deleter>;

graphics_ptr graphics_of(GpBitmap* bitmap)
{
    GpGraphics* graphics = nullptr;
    if (GdipGetImageGraphicsContext(bitmap, &graphics) != Ok)
    {
        return nullptr;
    }
    return graphics_ptr(graphics);
}

bool image_size(GpImage* image, UINT& width, UINT& height)
{
    return GdipGetImageWidth(image, &width) == Ok && GdipGetImageHeight(image, &height) == Ok;
}

bool find_png_encoder(CLSID& encoder)
{
    UINT count = 0;
    UINT size = 0;
    if (GdipGetImageEncodersSize(&count, &size) != Ok || size == 0)
    {
        return false;
    }
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    if (GdipGetImageEncoders(count, size, codecs) != Ok)
    {
        return false;
    }
    for (UINT i = 0; i < count; ++i)
    {
        if (codecs[i].MimeType != nullptr && std::wcscmp(codecs[i].MimeType, L"image/png") == 0)
        {
            encoder = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// The temporary file of one save: removed unless it was moved into place.
class pending_file
{
public:
    explicit pending_file(std::wstring path) : path_(std::move(path))
    {
        handle_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
        created_ = is_open();
    }
    ~pending_file()
    {
        if (is_open())
        {
            CloseHandle(handle_);
        }
        if (created_ && !moved_)
        {
            DeleteFileW(path_.c_str());
        }
    }
    pending_file(const pending_file&) = delete;
    pending_file& operator=(const pending_file&) = delete;

    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }

    bool write(const void* data, DWORD size)
    {
        DWORD written = 0;
        return icon_file_functions().write_file(handle_, data, size, &written, nullptr) && written == size;
    }

    bool move_to(const std::wstring& target)
    {
        const bool closed = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        moved_ = closed && MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        return moved_;
    }

private:
    std::wstring path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool created_ = false;
    bool moved_ = false;
};

struct file_state
{
    bool exists = false;
    bool directory = false;
    ULONGLONG write_time = 0;
};

// Errors that only say "nothing there" count as absence, as the standard library's exists() does.
file_state query_file(const std::wstring& path, const char* operation)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
            error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME)
        {
            return {};
        }
        throw std::filesystem::filesystem_error(
            operation, path, std::error_code(static_cast<int>(error), std::system_category()));
    }
    ULARGE_INTEGER time{};
    time.LowPart = data.ftLastWriteTime.dwLowDateTime;
    time.HighPart = data.ftLastWriteTime.dwHighDateTime;
    return {true, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, time.QuadPart};
}

std::wstring_view file_stem(std::wstring_view path)
{
    const auto separator = path.find_last_of(L"\\/");
    std::wstring_view name = separator == std::wstring_view::npos ? path : path.substr(separator + 1);
    if (separator == std::wstring_view::npos && name.size() >= 2 && name[1] == L':')
    {
        name.remove_prefix(2); // C:name
    }
    if (name == L"." || name == L"..")
    {
        return name;
    }
    const auto dot = name.rfind(L'.');
    return dot == std::wstring_view::npos || dot == 0 ? name : name.substr(0, dot);
}

std::mutex& generation_lock()
{
    static std::mutex lock;
    return lock;
}

bool render_tagged_icon(HMODULE module, const std::wstring& source_icon, const std::wstring& cache_path)
{
    const auto icon = load_bitmap(source_icon);
    if (!icon)
    {
        return false;
    }
    const auto mark = load_bitmap(check_mark_icon_path(module));
    return mark && draw_check_mark(icon.get(), mark.get()) && save_png_icon(icon.get(), cache_path);
}

std::wstring generate(HMODULE module, const std::wstring& source_icon,
                      const std::filesystem::path* cache_folder)
{
    try
    {
        if (source_icon.empty())
        {
            return {};
        }
        const auto source = query_file(source_icon, "exists");
        if (!source.exists)
        {
            return {};
        }
        // The folder is made only when an icon is written: a cache hit costs two attribute queries.
        const auto folder = cache_folder != nullptr ? *cache_folder : common::product_folder_path() / L"Content";
        const std::wstring cache_path = (folder / tagged_icon_file_name(source_icon)).wstring();

        std::lock_guard guard(generation_lock());
        const auto cached = query_file(cache_path, "last_write_time");
        if (cached.exists && !cached.directory && cached.write_time >= source.write_time)
        {
            return cache_path;
        }
        common::ensure_folder(folder);
        // Never left running between calls; the bitmaps go before it does.
        gdiplus_session gdiplus;
        return render_tagged_icon(module, source_icon, cache_path) ? cache_path : std::wstring();
    }
    catch (const std::exception& error)
    {
        common::log(common::log_level::error, "Failed to generate tagged icon. Details: {}", error.what());
    }
    catch (...)
    {
        common::log(common::log_level::error, L"Failed to generate tagged icon for {}", source_icon);
    }
    return {};
}
} // namespace

void gdiplus_image_deleter::operator()(GpImage* image) const noexcept
{
    GdipDisposeImage(image);
}

gdiplus_session::gdiplus_session()
{
    GdiplusStartupInput input;
    if (GdiplusStartup(&token_, &input, nullptr) != Ok)
    {
        token_ = 0;
    }
}

gdiplus_session::~gdiplus_session()
{
    if (token_ != 0)
    {
        GdiplusShutdown(token_);
    }
}

bitmap_ptr load_bitmap(const std::wstring& path)
{
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromFile(path.c_str(), &bitmap) != Ok)
    {
        return nullptr;
    }
    return bitmap_ptr(bitmap);
}

icon_rect visible_bounds(GpBitmap* bitmap)
{
    UINT width = 0;
    UINT height = 0;
    image_size(bitmap, width, height);
    const icon_rect whole{0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};

    GpRect area(0, 0, whole.width, whole.height);
    BitmapData data{};
    if (GdipBitmapLockBits(bitmap, &area, ImageLockModeRead, PixelFormat32bppARGB, &data) != Ok)
    {
        return whole;
    }
    std::int32_t left = whole.width, top = whole.height, right = -1, bottom = -1;
    for (std::int32_t y = 0; y < whole.height; ++y)
    {
        const auto* row = reinterpret_cast<const ARGB*>(static_cast<const BYTE*>(data.Scan0) +
                                                        static_cast<std::ptrdiff_t>(y) * data.Stride);
        for (std::int32_t x = 0; x < whole.width; ++x)
        {
            if (static_cast<int>(row[x] >> 24) > visible_alpha_threshold)
            {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    GdipBitmapUnlockBits(bitmap, &data);
    if (right < 0)
    {
        return whole;
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

bool draw_check_mark(GpBitmap* icon, GpBitmap* mark)
{
    UINT mark_width = 0;
    UINT mark_height = 0;
    UINT icon_width = 0;
    UINT icon_height = 0;
    if (!image_size(mark, mark_width, mark_height) || !image_size(icon, icon_width, icon_height))
    {
        return false;
    }
    // A straight ARGB copy, so that the visible bounds read the mark's own alpha.
    GpBitmap* raw_copy = nullptr;
    if (GdipCreateBitmapFromScan0(static_cast<INT>(mark_width), static_cast<INT>(mark_height), 0,
                                  PixelFormat32bppARGB, nullptr, &raw_copy) != Ok)
    {
        return false;
    }
    const bitmap_ptr copy(raw_copy);
    {
        const auto graphics = graphics_of(copy.get());
        if (!graphics || GdipSetCompositingMode(graphics.get(), CompositingModeSourceCopy) != Ok ||
            GdipDrawImageRectI(graphics.get(), mark, 0, 0, static_cast<INT>(mark_width),
                               static_cast<INT>(mark_height)) != Ok)
        {
            return false;
        }
    }

    const auto graphics = graphics_of(icon);
    GpImageAttributes* raw_attributes = nullptr;
    if (!graphics || GdipCreateImageAttributes(&raw_attributes) != Ok)
    {
        return false;
    }
    const attributes_ptr attributes(raw_attributes);
    // Flipped tiling keeps the transparent surroundings of the source rectangle out of the edges.
    if (GdipSetCompositingMode(graphics.get(), CompositingModeSourceOver) != Ok ||
        GdipSetInterpolationMode(graphics.get(), InterpolationModeHighQualityBicubic) != Ok ||
        GdipSetImageAttributesWrapMode(attributes.get(), WrapModeTileFlipXY, 0xFF000000, FALSE) != Ok)
    {
        return false;
    }
    const auto source = visible_bounds(copy.get());
    const UINT side = std::min(icon_width, icon_height);
    const INT size = side > 1 ? static_cast<INT>(side * 3 / 4) : 1;
    return GdipDrawImageRectRectI(graphics.get(), copy.get(), 0, 0, size, size, source.left, source.top,
                                  source.width, source.height, UnitPixel, attributes.get(), nullptr,
                                  nullptr) == Ok;
}

bool save_png_icon(GpBitmap* bitmap, const std::wstring& path)
{
    CLSID encoder{};
    UINT width = 0;
    UINT height = 0;
    if (!find_png_encoder(encoder) || !image_size(bitmap, width, height))
    {
        return false;
    }
    Microsoft::WRL::ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        GdipSaveImageToStream(bitmap, stream.Get(), &encoder, nullptr) != Ok)
    {
        return false;
    }
    STATSTG status{};
    if (FAILED(stream->Stat(&status, STATFLAG_NONAME)) || status.cbSize.HighPart != 0 ||
        FAILED(stream->Seek({}, STREAM_SEEK_SET, nullptr)))
    {
        return false;
    }
    const DWORD length = status.cbSize.LowPart;

    // ICONDIR and its one ICONDIRENTRY, little-endian; 256 is stored as 0.
    std::array<BYTE, 22> header{0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0, 0, 0, 0, 0, 22, 0, 0, 0};
    header[6] = static_cast<BYTE>(width % 256);
    header[7] = static_cast<BYTE>(height % 256);
    for (int i = 0; i < 4; ++i)
    {
        header[14 + i] = static_cast<BYTE>(length >> (8 * i));
    }

    pending_file file(path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                      std::to_wstring(GetCurrentThreadId()) + L".tmp");
    if (!file.is_open() || !file.write(header.data(), static_cast<DWORD>(header.size())))
    {
        return false;
    }
    std::array<BYTE, 4096> buffer{};
    DWORD copied = 0;
    for (;;)
    {
        ULONG read = 0;
        if (FAILED(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &read)))
        {
            return false;
        }
        if (read == 0)
        {
            break;
        }
        if (!file.write(buffer.data(), read))
        {
            return false;
        }
        copied += read;
    }
    return copied == length && file.move_to(path);
}

std::uint64_t fnv1a_64(std::wstring_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const wchar_t unit : text)
    {
        const auto value = static_cast<std::uint16_t>(unit);
        hash = (hash ^ (value & 0xFFu)) * 0x100000001b3ULL;
        hash = (hash ^ (value >> 8)) * 0x100000001b3ULL;
    }
    return hash;
}

std::wstring tagged_icon_file_name(std::wstring_view source_icon)
{
    return fmt::format(L"{}_{:016x}_generated-tagged.ico", file_stem(source_icon), fnv1a_64(source_icon));
}

std::wstring generate_tagged_icon(HMODULE module, const std::wstring& source_icon)
{
    return generate(module, source_icon, nullptr);
}

std::wstring generate_tagged_icon(HMODULE module, const std::wstring& source_icon,
                                  const std::filesystem::path& cache_folder)
{
    return generate(module, source_icon, &cache_folder);
}

icon_file_api& icon_file_functions()
{
    static icon_file_api functions;
    return functions;
}
} // namespace tag_extension
