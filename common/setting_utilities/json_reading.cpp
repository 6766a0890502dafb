#include "common/setting_utilities/json_reading.h"

#include "common/conversions.h"

#include <cstdint>
#include <cstring>

namespace common::setting_utilities
{
namespace
{
bool has_high_or_zero_byte(std::uint64_t word) noexcept
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    return ((word | ((word - ones) & ~word)) & highs) != 0;
}

// Length of the longest prefix that is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF) and holds no NUL byte.
size_t usable_prefix_length(const std::string& text) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size)
    {
        // Settings files are almost all ASCII: skip it eight bytes at a time.
        std::uint64_t word = 0;
        while (i + 8 <= size && (std::memcpy(&word, bytes + i, 8), !has_high_or_zero_byte(word)))
        {
            i += 8;
        }
        if (i == size)
        {
            break;
        }
        const unsigned lead = bytes[i];
        if (lead == 0)
        {
            return i;
        }
        if (lead < 0x80)
        {
            ++i;
            continue;
        }
        size_t length = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
        {
            length = 2;
        }
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : low;
            high = lead == 0xED ? 0x9F : high;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            length = 4;
            low = lead == 0xF0 ? 0x90 : low;
            high = lead == 0xF4 ? 0x8F : high;
        }
        else
        {
            return i;
        }
        if (size - i < length || bytes[i + 1] < low || bytes[i + 1] > high)
        {
            return i;
        }
        for (size_t k = 2; k < length; ++k)
        {
            if ((bytes[i + k] & 0xC0) != 0x80)
            {
                return i;
            }
        }
        i += length;
    }
    return size;
}

} // namespace

rapidjson::Document parse_json(std::string& text)
{
    text.resize(usable_prefix_length(text));
    rapidjson::Document document;
    // Iterative, so that deep nesting costs heap instead of the caller's (Explorer's) stack.
    document.ParseInsitu<rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag>(text.data());
    return document;
}

const rapidjson::Value* member(const rapidjson::Value& object, const char* name)
{
    const auto found = object.FindMember(name);
    return found != object.MemberEnd() ? &found->value : nullptr;
}

std::string_view text_of(const rapidjson::Value* value)
{
    return value != nullptr && value->IsString() ? std::string_view(value->GetString()) : std::string_view();
}

std::optional<std::wstring> optional_text(const rapidjson::Value& object, const char* name)
{
    const auto* value = member(object, name);
    if (value == nullptr || !value->IsString())
    {
        return std::nullopt;
    }
    return common::to_wide(value->GetString());
}
} // namespace common::setting_utilities
