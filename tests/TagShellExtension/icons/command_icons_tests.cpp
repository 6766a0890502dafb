#include "TagShellExtension/icons/command_icons.h"
#include "common/folders.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

namespace
{
using namespace tag_extension;

TEST(command_icons, theme_value_zero_means_dark_else_light_and_the_tag_icon_keeps_the_theme_of_its_first_use)
{
    // The user's own settings stay untouched: HKCU is a scratch key for the test.
    HKEY user = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TagIconTests", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &user, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user), ERROR_SUCCESS);
    EXPECT_TRUE(apps_use_light_theme()); // no key at all
    // A QWORD is too long for the 4-byte read.
    for (const auto& [type, value, light] :
         {std::tuple{REG_DWORD, 2ull, true}, {REG_QWORD, 0ull, true}, {REG_DWORD, 0ull, false}})
    {
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER,
                                  L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                                  L"AppsUseLightTheme", type, &value, type == REG_QWORD ? 8 : 4),
                  ERROR_SUCCESS);
        EXPECT_EQ(apps_use_light_theme(), light) << type << " " << value;
    }
    const std::wstring first = tag_command_icon_path();
    EXPECT_TRUE(first.ends_with(L"\\tag_action_dark.ico")) << first;
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft"); // of the scratch key
    EXPECT_TRUE(apps_use_light_theme());
    EXPECT_EQ(tag_command_icon_path(), first);

    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(user);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TagIconTests");
}

TEST(command_icons, icon_values_resolve_against_the_module_folder_unless_absolute)
{
    const std::wstring base = common::module_folder(common::module_handle()).wstring() + L"\\";
    const std::vector<std::pair<std::optional<std::wstring>, std::wstring>> cases{
        {std::nullopt, L""},
        {L"Content\\Icons\\tag.ico", base + L"Content\\Icons\\tag.ico"},
        {L"c:/x.ico", L"c:/x.ico"},
        {L"//server/share/x.ico", L"//server/share/x.ico"},
        {L"\\\\?\\C:\\x.ico", L"\\\\?\\C:\\x.ico"},
        {L"\\\\.\\x.ico", L"\\\\.\\x.ico"},
        {L"\\??\\C:\\x.ico", L"\\??\\C:\\x.ico"},
        {L"C:x.ico", base + L"C:x.ico"},
        {L"\\x.ico", base + L"\\x.ico"},
        {L"1:\\x.ico", base + L"1:\\x.ico"},
    };
    for (const auto& [value, expected] : cases)
    {
        EXPECT_EQ(resolve_icon_path(value), expected) << (value ? *value : L"(absent)");
    }
}
} // namespace
