#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tag_menu_host
{
// companion_records beside the module: where the companion stand-ins record their starts.
std::wstring records_folder(HMODULE module);
// The stand-ins' record files, <exe name>.<time>.<pid>.record, in the order they were written.
std::vector<std::wstring> record_files(const std::wstring& folder);
// Prints the records that appear beside those listed before, waiting up to ten seconds for the
// first: nothing waits for the batch processor.
void print_new_records(const std::wstring& folder, const std::vector<std::wstring>& before);
} // namespace tag_menu_host
