#pragma once

#include <windows.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace common
{
// What one read of a whole file gave.
struct file_contents
{
    enum class outcome
    {
        not_opened, // missing, locked without sharing, or not a disk file (a device such as CON)
        too_large,  // above the byte limit: nothing is read
        partial,    // a read failed part way: `bytes` holds what came before
        whole,
    };
    outcome result = outcome::not_opened;
    std::string bytes;
    // Taken when the file was opened, before reading, so that a change made while it is read
    // shows as a change at the next comparison. A file that grew past the limit while it was
    // read gives the size it had reached.
    std::uint64_t size = 0;
    std::uint64_t write_time = 0; // FILETIME ticks
};

// Reads a disk file to its end, sharing it with every other opener. Reading stops past
// `byte_limit` too, so a file that grows while it is read stays bounded.
file_contents read_whole_file(const std::wstring& path,
                              std::uint64_t byte_limit = std::numeric_limits<std::uint64_t>::max());

enum class write_outcome
{
    written,
    not_opened,
    not_written, // a write or the closing failed; the file is removed
};

// Writes the bytes as the whole of the file, replacing one that exists. A file that could not
// be written whole is removed, so that no reader ever takes a part for the whole. `durable`
// flushes it to the disk before it is closed.
write_outcome write_whole_file(const std::wstring& path, std::string_view bytes, bool durable = false);

// Writes the bytes to a temporary file beside the target and moves it over the target, so
// that readers (and a crash) see the old file or the whole new one, never a part.
bool replace_file(const std::wstring& path, std::string_view bytes);

// The OS calls that Wine cannot make fail once a file is open.
struct file_write_api
{
    BOOL(WINAPI* write_file)
    (HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) = &WriteFile;
    BOOL(WINAPI* close_handle)(HANDLE handle) = &CloseHandle;
};
file_write_api& file_write_functions();
} // namespace common
