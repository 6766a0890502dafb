#include "output.h"

#include "TagShellExtension/metadata/shell_paths.h"
#include "common/conversions.h"

#include <cstdio>

namespace tag_menu_host
{
namespace
{
void write_line(FILE* stream, const std::wstring& text)
{
    // Redirected output stays readable whatever the console's code page.
    const std::string bytes = common::to_utf8(text) + '\n';
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}
} // namespace

void print(const std::wstring& text)
{
    write_line(stdout, text);
}

int usage_error(const std::wstring& message)
{
    write_line(stderr, L"tag_menu_host: " + message + L" (see tag_menu_host --help)");
    return exit_bad_arguments;
}

int failure(const std::wstring& message)
{
    write_line(stderr, L"tag_menu_host: " + message);
    return exit_failed;
}

std::wstring hex(HRESULT hr)
{
    wchar_t buffer[16];
    swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

std::wstring error_text(DWORD code)
{
    std::wstring message = common::to_wide(tag_extension::hresult_message(HRESULT_FROM_WIN32(code)).c_str());
    while (!message.empty() && (message.back() == L' ' || message.back() == L'.'))
    {
        message.pop_back();
    }
    return L"error " + std::to_wstring(code) + L": " + message;
}
} // namespace tag_menu_host
