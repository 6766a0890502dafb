#pragma once

#include <string>

namespace tag_extension
{
// A menu text of this module's string table (IDS_TAG to IDS_RECOGNIZE_FACES), read once per
// process; "failed to load" when the table lacks it.
const std::wstring& module_string(unsigned id) noexcept;
} // namespace tag_extension
