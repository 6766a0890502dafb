#pragma once

#include "TagShellExtension/metadata/item_metadata.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tag_menu_host
{
// Tags that one item is to carry in System.Keywords.
struct keyword_entry
{
    std::wstring path; // full path, as GetFullPathNameW gives it, without a trailing separator
    std::vector<std::wstring> tags;
};

// "<path>=<tag1;tag2>": the last '=' ends the path; empty tags are dropped, so "<path>="
// gives an empty list. Nothing when the path part is empty or there is no '='.
std::optional<keyword_entry> parse_keyword_entry(std::wstring_view text);

// Whole paths, compared case-insensitively as Windows does; the later of two entries for one
// path wins.
std::optional<std::vector<std::wstring>> find_keywords(const std::vector<keyword_entry>& entries,
                                                       std::wstring_view path);

// Under Wine no property store reaches a file's System.Keywords. This points the module's
// imports of SHGetPropertyStoreFromParsingName (shell32), StgOpenStorageEx (ole32) and
// PSCreatePropertyStoreFromPropertySetStorage (propsys) at the host: for the given paths
// they hand out a read-only store answering System.Keywords; other paths reach the real
// functions. False when the module imports none of them.
bool install_keyword_stand_in(HMODULE module, std::vector<keyword_entry> entries);
// The same for the product's code linked into the host (why): points its replaceable
// property-system functions at the stand-ins. Call after the DLL's.
void install_keyword_stand_in(tag_extension::property_system_api& functions);
} // namespace tag_menu_host
