#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace settings_tests
{
// Everything the day's log file gained since the previous call.
std::string new_log_text();
// Heap allocations made by the calling thread so far.
std::size_t allocations_on_this_thread();
// The repository's Content\Configurations with the shipped default files.
std::filesystem::path shipped_defaults();
} // namespace settings_tests
