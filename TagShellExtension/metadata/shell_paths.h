#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace tag_extension
{
// Desktop-absolute parsing names of the selection, in array order. Items the array cannot
// hand out are skipped; an item that cannot name itself is logged and aborts with a runtime error.
std::vector<std::wstring> get_parsing_paths(IShellItemArray* items);

// The system's text for a code, without its line break and insert markers;
// "Unknown HRESULT error." when the system has none.
std::string hresult_message(HRESULT hr);

// Final path of an existing file or folder, links resolved, in the plain drive or UNC form.
// Throws std::filesystem::filesystem_error naming "canonical" on failure.
std::wstring canonical_path(const std::wstring& path);

} // namespace tag_extension
