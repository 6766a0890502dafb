#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tag_extension
{
// One job for a companion executable, written as a JSON file it reads and owns.
struct batch_request
{
    std::vector<std::wstring> files;
    std::wstring action_type;
    std::wstring action_parameters;
    // Both set when the file is named; a preset path is written as it stands.
    std::string guid{};
    std::wstring path{};
};

// Writes the request as pretty-printed UTF-8 with CR LF line breaks, naming it first
// temporary folder\lumora_<GUID>.json.tmp when its path is empty, and returns the file's path.
// A file whose name has no UTF-8 form is left out with an ERROR line; when that leaves none of
// several, or a write fails, it raises and leaves no file, so no companion is started on it.
std::wstring write_request(const batch_request& request);

} // namespace tag_extension
