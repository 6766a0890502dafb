#include "common/conversions.h"

#include <gtest/gtest.h>

namespace
{
TEST(conversions, utf8_and_utf16_round_trip_non_ascii_text)
{
    const std::wstring text = L"Caf\u00e9 \u6771\u4eac \U0001F600";
    const std::string bytes = common::to_utf8(text);
    EXPECT_EQ(bytes, "Caf\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(common::to_wide(bytes.c_str()), text);
}

TEST(conversions, to_wide_stops_at_the_first_zero_byte_and_accepts_null)
{
    const char with_zero[] = "ab\0cd";
    EXPECT_EQ(common::to_wide(with_zero), L"ab");
    EXPECT_EQ(common::to_wide(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(common::to_utf8(L""), "");
}

TEST(conversions, invalid_input_is_replaced_not_rejected)
{
    EXPECT_EQ(common::to_wide("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(common::to_utf8(std::wstring(L"a\xD800" L"b")), "a\xEF\xBF\xBD" "b");
}
} // namespace
