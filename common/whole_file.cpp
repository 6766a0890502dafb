#include "common/whole_file.h"

#include "common/unique_resources.h"

#include <algorithm>
#include <atomic>

namespace common
{
namespace
{
constexpr DWORD largest_transfer = 1u << 20;

std::uint64_t ticks(const FILETIME& time) noexcept
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
} // namespace

file_contents read_whole_file(const std::wstring& path, std::uint64_t byte_limit)
{
    file_contents contents;
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    FILETIME write_time{};
    LARGE_INTEGER size{};
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK ||
        !GetFileTime(file.get(), nullptr, nullptr, &write_time) || !GetFileSizeEx(file.get(), &size))
    {
        return contents;
    }
    contents.size = static_cast<std::uint64_t>(size.QuadPart);
    contents.write_time = ticks(write_time);
    if (contents.size > byte_limit)
    {
        contents.result = file_contents::outcome::too_large;
        return contents;
    }
    // One byte more than the size, so that the read which finds the end needs no reallocation.
    std::string& bytes = contents.bytes;
    size_t capacity = static_cast<size_t>(contents.size) + 1;
    size_t filled = 0;
    for (;;)
    {
        if (filled == capacity)
        {
            capacity *= 2;
        }
        bytes.resize(capacity);
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(capacity - filled, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + filled, wanted, &read, nullptr))
        {
            contents.result = file_contents::outcome::partial;
            break;
        }
        if (read == 0)
        {
            contents.result = file_contents::outcome::whole;
            break;
        }
        filled += read;
        if (filled > byte_limit)
        {
            contents.result = file_contents::outcome::too_large;
            contents.size = filled;
            filled = 0;
            break;
        }
    }
    bytes.resize(filled);
    return contents;
}

write_outcome write_whole_file(const std::wstring& path, std::string_view bytes, bool durable)
{
    unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
    {
        return write_outcome::not_opened;
    }
    bool complete = true;
    while (complete && !bytes.empty())
    {
        const auto wanted = static_cast<DWORD>(std::min<size_t>(bytes.size(), largest_transfer));
        DWORD written = 0;
        complete = file_write_functions().write_file(file.get(), bytes.data(), wanted, &written, nullptr) &&
                   written == wanted;
        bytes.remove_prefix(complete ? wanted : 0);
    }
    complete = complete && (!durable || FlushFileBuffers(file.get()));
    // The last close is checked: it may be where a full disk shows.
    complete = file_write_functions().close_handle(file.release()) && complete;
    if (!complete)
    {
        DeleteFileW(path.c_str());
        return write_outcome::not_written;
    }
    return write_outcome::written;
}

bool replace_file(const std::wstring& path, std::string_view bytes)
{
    static std::atomic<unsigned> counter{0};
    const std::wstring pending =
        path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++counter) + L".tmp";
    if (write_whole_file(pending, bytes, true) != write_outcome::written)
    {
        return false;
    }
    if (!MoveFileExW(pending.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        DeleteFileW(pending.c_str());
        return false;
    }
    return true;
}

file_write_api& file_write_functions()
{
    static file_write_api functions;
    return functions;
}
} // namespace common
