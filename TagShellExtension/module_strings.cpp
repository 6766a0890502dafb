#include "TagShellExtension/module_strings.h"

#include "common/folders.h"
#include "resource.h"

#include <array>

namespace tag_extension
{
namespace
{
constexpr unsigned first_id = IDS_TAG;
constexpr unsigned last_id = IDS_RECOGNIZE_FACES;
const std::wstring failed_to_load = L"failed to load";

std::wstring load_module_string(unsigned id)
{
    // Buffer size 0 asks for a pointer to the read-only resource text itself.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(common::module_handle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr)
    {
        return failed_to_load;
    }
    return std::wstring(text, static_cast<size_t>(length));
}
} // namespace

const std::wstring& module_string(unsigned id) noexcept
{
    if (id < first_id || id > last_id)
    {
        return failed_to_load;
    }
    try
    {
        static const auto texts = []
        {
            std::array<std::wstring, last_id - first_id + 1> loaded;
            for (unsigned i = 0; i < loaded.size(); ++i)
            {
                loaded[i] = load_module_string(first_id + i);
            }
            return loaded;
        }();
        return texts[id - first_id];
    }
    catch (...)
    {
        // Out of memory on first use: the next call tries again.
        return failed_to_load;
    }
}
} // namespace tag_extension
