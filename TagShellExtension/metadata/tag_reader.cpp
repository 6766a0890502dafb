#include "TagShellExtension/metadata/tag_reader.h"

#include "common/unique_resources.h"
#include "common/windows_paths.h"

#include <propidl.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <numeric>
#include <string_view>

namespace tag_extension
{
namespace
{
constexpr DWORD folder_tags_buffer_size = 4096;

// The text compared when sorting: each character lower-cased in the current locale, so that
// sorting compares 16-bit values only.
std::wstring sort_key(const std::wstring& tag)
{
    std::wstring key(tag.size(), L'\0');
    std::transform(tag.begin(), tag.end(), key.begin(),
                   [](wchar_t c)
                   { return static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c))); });
    return key;
}

// False when the store has no value of the one accepted type.
bool read_keyword_property(IPropertyStore* store, std::vector<std::wstring>& tags)
{
    common::unique_prop_variant keywords;
    if (FAILED(store->GetValue(keywords_key, keywords.addressof())) || keywords.vt != (VT_VECTOR | VT_LPWSTR))
    {
        return false;
    }
    const CALPWSTR& list = keywords.calpwstr;
    for (ULONG i = 0; i < list.cElems; ++i)
    {
        if (list.pElems[i] != nullptr)
        {
            tags.emplace_back(list.pElems[i]);
        }
    }
    return true;
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

    std::vector<std::wstring> keys;
    keys.reserve(raw.size());
    std::transform(raw.begin(), raw.end(), std::back_inserter(keys), sort_key);
    std::vector<size_t> order(raw.size());
    std::iota(order.begin(), order.end(), size_t{0});
    // Of two equal tags the one read later stands first.
    std::sort(order.begin(), order.end(),
              [&](size_t left, size_t right)
              {
                  const int compared = keys[left].compare(keys[right]);
                  return compared < 0 || (compared == 0 && left > right);
              });
    std::vector<std::wstring> sorted;
    sorted.reserve(raw.size());
    for (const size_t i : order)
    {
        sorted.push_back(std::move(raw[i]));
    }
    return sorted;
}

std::vector<std::wstring> read_folder_tags(const std::wstring& folder)
{
    std::wstring value(folder_tags_buffer_size, L'\0');
    const DWORD length =
        GetPrivateProfileStringW(L"Sortwell", L"Tags", L"", value.data(), folder_tags_buffer_size,
                                 common::joined_path(folder, L"desktop.ini").c_str());
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
        // Sorted exactly, so that each tag is looked up in log n.
        std::vector<std::wstring_view> carried(other.begin(), other.end());
        std::sort(carried.begin(), carried.end());
        std::erase_if(common,
                      [&](const std::wstring& tag) {
                          return !std::binary_search(carried.begin(), carried.end(), std::wstring_view(tag));
                      });
    }
    return common;
}
} // namespace tag_extension
