#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace tag_extension
{
// Path of the check-marked copy of the source icon in the product's generated content
// folder, made when missing or older than the source; empty when none can be made. A
// source whose generation failed is not tried again in this process until it changes.
std::wstring generate_tagged_icon(HMODULE module, const std::wstring& source_icon);
// The same with the cache in the given folder (made when missing).
std::wstring generate_tagged_icon(HMODULE module, const std::wstring& source_icon,
                                  const std::filesystem::path& cache_folder);
} // namespace tag_extension
