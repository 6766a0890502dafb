#include "TagShellExtension/module_strings.h"

#include "common/folders.h"

namespace tag_extension
{
std::wstring load_module_string(unsigned id)
{
    // Buffer size 0 asks for a pointer to the read-only resource text itself.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(common::module_handle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr)
    {
        return L"failed to load";
    }
    return std::wstring(text, static_cast<size_t>(length));
}
} // namespace tag_extension
