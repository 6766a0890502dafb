#include "TagShellExtension/icons/command_icons.h"
#include "common/folders.h"
#include "common/unique_resources.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <tuple>

namespace
{
using namespace tag_extension;

TEST(command_icons, theme_value_zero_means_dark_else_light_and_the_tag_icon_keeps_the_theme_of_its_first_use)
{
    // The user's own settings stay untouched: HKCU is a scratch key for the test.
    common::unique_hkey user;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\TagIconTests", user.put()), ERROR_SUCCESS);
    // Undone also when an ASSERT returns early.
    const std::shared_ptr<void> restored(nullptr,
                                         [&](void*)
                                         {
                                             RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
                                             user.reset();
                                             RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TagIconTests");
                                         });
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user.get()), ERROR_SUCCESS);
    // A QWORD is too long for the 4-byte read.
    for (const auto& [type, value, light] :
         {std::tuple{REG_DWORD, 2ull, true}, {REG_QWORD, 0ull, true}, {REG_DWORD, 0ull, false}})
    {
        EXPECT_EQ(RegSetKeyValueW(user.get(),
                                  L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                                  L"AppsUseLightTheme", type, &value, type == REG_QWORD ? 8 : 4),
                  ERROR_SUCCESS);
        EXPECT_EQ(apps_use_light_theme(), light) << type << " " << value;
    }
    EXPECT_TRUE(tag_command_icon_path().ends_with(L"\\tag_action_dark.ico"));
    RegDeleteTreeW(user.get(), L"Software\\Microsoft");
    EXPECT_TRUE(apps_use_light_theme());
    EXPECT_TRUE(tag_command_icon_path().ends_with(L"\\tag_action_dark.ico"));
}

TEST(command_icons, icon_values_resolve_against_the_module_folder_unless_absolute)
{
    EXPECT_EQ(resolve_icon_path(std::nullopt), L"");
    for (const std::wstring absolute :
         {L"c:/x.ico", L"//server/share/x.ico", L"\\\\?\\C:\\x.ico", L"\\\\.\\x.ico", L"\\??\\C:\\x.ico"})
    {
        EXPECT_EQ(resolve_icon_path(absolute), absolute);
    }
    const std::wstring base = common::module_folder(common::module_handle()).wstring() + L"\\";
    for (const std::wstring relative : {L"Content\\Icons\\tag.ico", L"C:x.ico", L"\\x.ico", L"1:\\x.ico"})
    {
        EXPECT_EQ(resolve_icon_path(relative), base + relative);
    }
}
} // namespace
