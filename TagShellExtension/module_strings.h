#pragma once

#include <string>

namespace tag_extension
{
// A text of this module's string table; "failed to load" when the id is missing.
std::wstring load_module_string(unsigned id);
} // namespace tag_extension
