#pragma once

#include <rapidjson/document.h>

#include <optional>
#include <string>
#include <string_view>

namespace common::setting_utilities
{
// Parses a settings file's bytes as UTF-8 JSON, in place: the document's strings point into
// `text`, which the caller keeps as long as it uses the document. The text ends at the first
// NUL byte or invalid UTF-8 sequence. Parse errors stay in the document.
rapidjson::Document parse_json(std::string& text);

// The first member called `name` of an object, or null.
const rapidjson::Value* member(const rapidjson::Value& object, const char* name);
// A string as text, or empty for anything else. JSON strings end at an escaped zero
// character, as everywhere else in the suite.
std::string_view text_of(const rapidjson::Value* value);
// A string member as wide text; not set when it is missing or no string.
std::optional<std::wstring> optional_text(const rapidjson::Value& object, const char* name);
} // namespace common::setting_utilities
