#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace common
{
// Writes the bytes to a temporary file beside the target and moves it over the target, so
// that readers (and a crash) see the old file or the whole new one, never a part. The
// temporary file is removed when any step fails.
bool replace_file(const std::wstring& path, std::string_view bytes);

// The file write of replace_file, replaceable because Wine cannot make a write fail.
struct replace_file_api
{
    BOOL(WINAPI* write_file)
    (HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) = &WriteFile;
};
replace_file_api& replace_file_functions();
} // namespace common
