#include "common/conversions.h"
#include "common/folders.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace
{
TEST(conversions, round_trip_non_ascii_exactly_stop_at_a_zero_byte_and_replace_invalid_input)
{
    const std::wstring text = L"Caf\u00e9 \u6771\u4eac \U0001F600";
    const std::string bytes = common::to_utf8(text);
    EXPECT_EQ(bytes, "Caf\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(common::to_wide(bytes.c_str()), text);

    const char with_zero[] = "ab\0cd";
    EXPECT_EQ(common::to_wide(with_zero), L"ab");
    EXPECT_EQ(common::to_wide(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(common::to_utf8(L""), "");

    EXPECT_EQ(common::to_wide("a\xFF."), L"a\uFFFD.");
    EXPECT_EQ(common::to_utf8(std::wstring(L"a\xD800.")), "a\xEF\xBF\xBD.");
}

TEST(folders, module_folder_is_whole_and_without_a_trailing_separator_also_beyond_260_characters)
{
    test_support::scratch_folder scratch;
    const auto deep = scratch / std::wstring(150, L'a') / std::wstring(150, L'b');
    std::filesystem::create_directories(deep);
    std::filesystem::copy_file(test_support::executable_folder() / L"TagShellExtension.dll",
                               deep / L"copy.dll");
    const HMODULE module = LoadLibraryExW((L"\\\\?\\" + (deep / L"copy.dll").wstring()).c_str(), nullptr,
                                          DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr);
    const auto folder = common::module_folder(module).wstring();
    FreeLibrary(module);
    EXPECT_TRUE(folder.ends_with(deep.filename().wstring())) << folder;
}
} // namespace
