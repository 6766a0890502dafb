#include "TagShellExtension/icons/png_icon_file.h"

#include "TagShellExtension/icons/gdiplus_bitmap.h"
#include "common/whole_file.h"

#include <wrl/client.h>

#include <cwchar>
#include <vector>

namespace tag_extension
{
using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace
{
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
} // namespace

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
    std::string file{'\0', '\0', 1,    '\0', 1, '\0', 0, 0,  '\0', '\0', 1,
                     '\0', 32,   '\0', 0,    0, 0,    0, 22, '\0', '\0', '\0'};
    file[6] = static_cast<char>(width % 256);
    file[7] = static_cast<char>(height % 256);
    for (int i = 0; i < 4; ++i)
    {
        file[14 + i] = static_cast<char>(length >> (8 * i));
    }
    file.resize(22 + size_t{length});
    ULONG read = 0;
    return SUCCEEDED(stream->Read(file.data() + 22, length, &read)) && read == length &&
           common::replace_file(path, file);
}
} // namespace tag_extension
