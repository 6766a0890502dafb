#pragma once

#include "TagShellExtension/metadata/item_metadata.h"

#include <string>
#include <vector>

namespace tag_extension
{
// System.Keywords: {F29F85E0-4FF9-1068-AB91-08002B27B3D9}, 5. The tools' stand-in store
// answers the same key.
inline constexpr PROPERTYKEY keywords_key = {
    {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}}, 5};

// Selections of this many items or more are not examined.
inline constexpr size_t common_tags_selection_limit = 50;

// The item's System.Keywords (for a folder without them, its desktop.ini tags), sorted
// case-insensitively; of two equal tags the one read later stands first.
std::vector<std::wstring> read_keywords(const item_metadata& metadata);
// The Tags value of the folder's desktop.ini, split on ';', in file order.
std::vector<std::wstring> read_folder_tags(const std::wstring& folder);
std::wstring desktop_ini_path(const std::wstring& folder);
// One item's tags; an item that cannot be read has none. Never throws.
std::vector<std::wstring> get_item_tags(const std::wstring& path) noexcept;
// Why no tag of a selection is read at all; `item` names the item concerned.
struct unread_selection
{
    enum reason_type
    {
        none, // the tags are read
        no_items,
        too_many_items,
        item_not_local, // offline or in the cloud: reading it would fetch it
    } reason = none;
    size_t item = 0;
};
unread_selection why_tags_are_not_read(const std::vector<std::wstring>& paths);
// Tags that every item carries, compared exactly, in the order of the first item's list.
std::vector<std::wstring> get_common_tags(const std::vector<std::wstring>& paths);
} // namespace tag_extension
