#pragma once

#include "tools/companion_stand_in/companion_records.h"

#include <string>
#include <vector>

namespace tag_menu_host
{
// Prints the records that appear beside those listed before, waiting up to ten seconds for the
// first: nothing waits for the batch processor.
void print_new_records(const std::wstring& folder, const std::vector<std::wstring>& before);
} // namespace tag_menu_host
