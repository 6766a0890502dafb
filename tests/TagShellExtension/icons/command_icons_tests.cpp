#include "TagShellExtension/icons/command_icons.h"
#include "common/folders.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace
{
using namespace tag_extension;

const wchar_t* const theme_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const wchar_t* const theme_name = L"AppsUseLightTheme";

void set_theme(DWORD type, const void* data, DWORD size)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, theme_key, theme_name, type, data, size);
}
void set_theme(DWORD value)
{
    set_theme(REG_DWORD, &value, sizeof(value));
}

// Puts the user's theme setting back as the test found it.
struct theme_restorer
{
    HKEY key = nullptr;
    bool had_key = RegOpenKeyExW(HKEY_CURRENT_USER, theme_key, 0, KEY_READ, &key) == ERROR_SUCCESS;
    DWORD saved = 0, size = sizeof(saved);
    bool had_value = RegGetValueW(HKEY_CURRENT_USER, theme_key, theme_name, RRF_RT_REG_DWORD, nullptr, &saved,
                                  &size) == ERROR_SUCCESS;
    ~theme_restorer()
    {
        RegCloseKey(key);
        had_value ? set_theme(saved) : (void)RegDeleteKeyValueW(HKEY_CURRENT_USER, theme_key, theme_name);
        if (!had_key)
        {
            RegDeleteKeyW(HKEY_CURRENT_USER, theme_key);
        }
    }
};

std::wstring module_folder()
{
    return common::module_folder(common::module_handle()).wstring();
}

TEST(command_icons, theme_value_zero_means_dark_and_anything_unreadable_means_light)
{
    {
        theme_restorer restorer;
        set_theme(0);
        EXPECT_FALSE(apps_use_light_theme());
        set_theme(1);
        EXPECT_TRUE(apps_use_light_theme());
        const unsigned long long zero = 0; // too long for the 4-byte read
        set_theme(REG_QWORD, &zero, sizeof(zero));
        EXPECT_TRUE(apps_use_light_theme());
        RegDeleteKeyValueW(HKEY_CURRENT_USER, theme_key, theme_name);
        EXPECT_TRUE(apps_use_light_theme());
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, theme_key, 0, KEY_READ, &key) != ERROR_SUCCESS) // as under Wine
    {
        EXPECT_TRUE(apps_use_light_theme());
    }
    RegCloseKey(key);
}

TEST(command_icons, tag_command_icon_follows_the_theme_of_its_first_use_only)
{
    theme_restorer restorer;
    const bool light = apps_use_light_theme();
    const std::wstring first = tag_command_icon_path();
    EXPECT_EQ(first, tag_command_icon_path(light));
    set_theme(light ? 0 : 1);
    EXPECT_EQ(tag_command_icon_path(), first);

    EXPECT_EQ(tag_command_icon_path(true), module_folder() + L"\\Content\\Icons\\tag_action_light.ico");
    EXPECT_EQ(tag_command_icon_path(false), module_folder() + L"\\Content\\Icons\\tag_action_dark.ico");
    EXPECT_EQ(auto_tag_icon_path(), module_folder() + L"\\Content\\Icons\\auto_tag_action.ico");
    EXPECT_EQ(check_mark_icon_path(nullptr),
              module_folder() + L"\\Content\\Icons\\check_mark_for_icon_overlay.ico");
}

TEST(command_icons, icon_values_resolve_against_the_module_folder_unless_absolute)
{
    const std::wstring base = module_folder() + L"\\";
    const std::vector<std::pair<std::optional<std::wstring>, std::wstring>> cases{
        {std::nullopt, L""},
        {L"", base},
        {L"Content\\Icons\\tag.ico", base + L"Content\\Icons\\tag.ico"},
        {L"C:\\x.ico", L"C:\\x.ico"},
        {L"c:/x.ico", L"c:/x.ico"},
        {L"\\\\server\\share\\x.ico", L"\\\\server\\share\\x.ico"},
        {L"//server/share/x.ico", L"//server/share/x.ico"},
        {L"\\\\?\\C:\\x.ico", L"\\\\?\\C:\\x.ico"},
        {L"\\\\.\\x.ico", L"\\\\.\\x.ico"},
        {L"\\??\\C:\\x.ico", L"\\??\\C:\\x.ico"},
        {L"C:x.ico", base + L"C:x.ico"},
        {L"\\x.ico", base + L"\\x.ico"},
        {L"\\\\\\x.ico", base + L"\\\\\\x.ico"},
        {L"1:\\x.ico", base + L"1:\\x.ico"},
    };
    for (const auto& [value, expected] : cases)
    {
        EXPECT_EQ(resolve_icon_path(value), expected) << (value ? *value : L"(absent)");
    }
}
} // namespace
