#include "TagShellExtension/metadata/tag_reader.h"

#include <propidl.h>

#include <algorithm>
#include <cwctype>
#include <string_view>

namespace tag_extension
{
namespace
{
// System.Keywords: {F29F85E0-4FF9-1068-AB91-08002B27B3D9}, 5.
constexpr PROPERTYKEY keywords_key = {
    {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}}, 5};

constexpr DWORD folder_tags_buffer_size = 4096;

wchar_t lower(wchar_t c)
{
    return static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
}

bool less_ignoring_case(const std::wstring& left, const std::wstring& right)
{
    return std::lexicographical_compare(
        left.begin(), left.end(), right.begin(), right.end(),
        [](wchar_t a, wchar_t b)
        { return static_cast<unsigned short>(lower(a)) < static_cast<unsigned short>(lower(b)); });
}

struct prop_variant
{
    PROPVARIANT value{};
    prop_variant() { PropVariantInit(&value); }
    ~prop_variant() { PropVariantClear(&value); }
    prop_variant(const prop_variant&) = delete;
    prop_variant& operator=(const prop_variant&) = delete;
};

// False when the store has no value of the one accepted type.
bool read_keyword_property(IPropertyStore* store, std::vector<std::wstring>& tags)
{
    prop_variant keywords;
    if (FAILED(store->GetValue(keywords_key, &keywords.value)) ||
        keywords.value.vt != (VT_VECTOR | VT_LPWSTR))
    {
        return false;
    }
    const CALPWSTR& list = keywords.value.calpwstr;
    for (ULONG i = 0; i < list.cElems; ++i)
    {
        if (list.pElems[i] != nullptr)
        {
            tags.emplace_back(list.pElems[i]);
        }
    }
    return true;
}

bool contains(const std::vector<std::wstring>& tags, const std::wstring& tag)
{
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}
} // namespace

std::vector<std::wstring> read_keywords(const item_metadata& metadata)
{
    std::vector<std::wstring> raw;
    const bool had_value = metadata.store() != nullptr && read_keyword_property(metadata.store(), raw);
    if (!had_value && metadata.is_directory())
    {
        raw = read_folder_tags(metadata.path());
    }

    std::vector<std::wstring> sorted;
    sorted.reserve(raw.size());
    for (auto& tag : raw)
    {
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), tag, less_ignoring_case);
        sorted.insert(at, std::move(tag));
    }
    return sorted;
}

std::wstring desktop_ini_path(const std::wstring& folder)
{
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\')
    {
        path += L'\\';
    }
    return path + L"desktop.ini";
}

std::vector<std::wstring> read_folder_tags(const std::wstring& folder)
{
    std::wstring value(folder_tags_buffer_size, L'\0');
    const DWORD length = GetPrivateProfileStringW(L"Sortwell", L"Tags", L"", value.data(),
                                                  folder_tags_buffer_size, desktop_ini_path(folder).c_str());
    std::vector<std::wstring> tags;
    const std::wstring_view text(value.data(), std::min<size_t>(length, folder_tags_buffer_size - 1));
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find(L';', start);
        if (end == std::wstring_view::npos)
        {
            end = text.size();
        }
        // Pieces keep their spaces: a space belongs to the tag.
        if (end > start)
        {
            tags.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return tags;
}

std::vector<std::wstring> get_item_tags(const std::wstring& path) noexcept
{
    try
    {
        item_metadata metadata;
        if (!metadata.open(path))
        {
            return {};
        }
        return read_keywords(metadata);
    }
    catch (...)
    {
        // An item whose tags cannot be read simply carries none.
        return {};
    }
}

unread_selection why_tags_are_not_read(const std::vector<std::wstring>& paths)
{
    if (paths.empty())
    {
        return {unread_selection::no_items};
    }
    if (paths.size() >= common_tags_selection_limit)
    {
        return {unread_selection::too_many_items};
    }
    // One unavailable item spoils the whole answer, so find it before opening anything.
    const auto unavailable = std::find_if_not(paths.begin(), paths.end(), is_locally_available);
    if (unavailable != paths.end())
    {
        return {unread_selection::item_not_local, static_cast<size_t>(unavailable - paths.begin())};
    }
    return {};
}

std::vector<std::wstring> get_common_tags(const std::vector<std::wstring>& paths)
{
    if (why_tags_are_not_read(paths).reason != unread_selection::none)
    {
        return {};
    }
    std::vector<std::wstring> common = get_item_tags(paths.front());
    for (size_t i = 1; i < paths.size() && !common.empty(); ++i)
    {
        const std::vector<std::wstring> other = get_item_tags(paths[i]);
        std::erase_if(common, [&](const std::wstring& tag) { return !contains(other, tag); });
    }
    return common;
}
} // namespace tag_extension
