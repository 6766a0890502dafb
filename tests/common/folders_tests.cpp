#include "TagShellExtension/icons/tagged_icon_cache.h"
#include "all_tags_settings/settings_file.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "common/unique_resources.h"
#include "high_level_settings/settings_file.h"
#include "support/explorer_calls.h"
#include "support/extension_dll.h"
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

TEST(folders, module_folder_is_whole_beyond_260_characters_and_per_user_files_sit_in_the_product_folders)
{
    test_support::scratch_folder scratch;
    const auto deep = scratch / std::wstring(150, L'a') / std::wstring(150, L'b');
    std::filesystem::create_directories(deep);
    std::filesystem::copy_file(test_support::dll_path(), deep / L"copy.dll");
    common::unique_hmodule module(LoadLibraryExW((L"\\\\?\\" + (deep / L"copy.dll").wstring()).c_str(),
                                                 nullptr, DONT_RESOLVE_DLL_REFERENCES));
    ASSERT_TRUE(module);
    const auto folder = common::module_folder(module.get()).wstring();
    module.reset();
    EXPECT_TRUE(folder.ends_with(deep.filename().wstring())) << folder;

    // Peers find these files by these names, under the local app data folder the tests redirect.
    const std::filesystem::path local = test_support::environment_variable(L"TAG_LOCAL_APP_DATA");
    const auto shipped_icon = (common::module_folder() / L"Content\\Icons\\tag_work.ico").wstring();
    const std::pair<std::filesystem::path, const wchar_t*> files[] = {
        {all_tags_settings::settings_file().file_path(), L"Quenbrook\\Lumora\\Settings\\All Tags.json"},
        {high_level_settings::settings_file().file_path(),
         L"Quenbrook\\Lumora\\Settings\\High Level Settings.json"},
        {std::filesystem::path(tag_extension::generate_tagged_icon(GetModuleHandleW(nullptr), shipped_icon))
             .parent_path(),
         L"Quenbrook\\Lumora\\Content"},
    };
    for (const auto& [actual, expected] : files)
    {
        EXPECT_EQ(actual.wstring(), (local / expected).wstring());
    }
}
} // namespace
