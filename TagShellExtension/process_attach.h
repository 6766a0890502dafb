#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace tag_extension
{
// What runs when a process loads the module, and where its log goes.

// ...\Quenbrook\Lumora\Sortwell\Tag Context Menu\Logs under the local app data folder.
std::filesystem::path log_folder();
// "Tag Context Menu 2026-03-14.log" for the local date of the call.
std::wstring log_file_name();

// Stores the module handle and opens the day's log file. Never fails the load: when
// the log folder cannot be made, the process logs nowhere.
void process_attach(HINSTANCE instance) noexcept;
} // namespace tag_extension
