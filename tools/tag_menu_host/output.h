#pragma once

#include <windows.h>

#include <string>

namespace tag_menu_host
{
// The host's exit statuses, as --help lists them.
inline constexpr int exit_done = 0;
inline constexpr int exit_failed = 1;        // the DLL or the drawing failed
inline constexpr int exit_bad_arguments = 2; // nothing was asked of the DLL

// One line on standard output, in UTF-8 whatever the console's code page, flushed at once.
void print(const std::wstring& text);
// "tag_menu_host: <message> (see tag_menu_host --help)" on standard error; exit_bad_arguments.
int usage_error(const std::wstring& message);
// "tag_menu_host: <message>" on standard error; exit_failed.
int failure(const std::wstring& message);

std::wstring hex(HRESULT hr);
// "error 2: The system cannot find the file specified", on one line.
std::wstring error_text(DWORD code);
} // namespace tag_menu_host
