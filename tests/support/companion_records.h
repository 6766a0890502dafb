#pragma once

#include "tools/companion_stand_in/companion_records.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace test_support
{
using companion_stand_in::companion_record;

// Takes (reads and removes) what the stand-in named exe_name ("Lumora.exe") has recorded.
std::vector<companion_record> take_companion_records(std::wstring_view exe_name);
// Takes records until at least `count` have arrived or the timeout passes; for launches
// that nothing waits for.
std::vector<companion_record>
wait_for_companion_records(std::wstring_view exe_name, size_t count = 1,
                           std::chrono::milliseconds timeout = std::chrono::seconds(20));
} // namespace test_support
