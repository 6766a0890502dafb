// The Tag command as Explorer meets it: created through the DLL's class factory, with the
// suite settings file of the user's product folder.
#include "support/extension_dll.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace
{
using Microsoft::WRL::ComPtr;

class tag_command : public testing::Test
{
protected:
    EXPCMDSTATE state()
    {
        EXPCMDSTATE result = ECS_DISABLED;
        EXPECT_EQ(command_->GetState(test_support::make_items({photo_}).Get(), TRUE, &result), S_OK);
        return result;
    }

    std::wstring title()
    {
        PWSTR text = nullptr;
        EXPECT_EQ(command_->GetTitle(nullptr, &text), S_OK);
        std::wstring result = text != nullptr ? text : L"(null)";
        CoTaskMemFree(text);
        return result;
    }

    test_support::settings_override settings_{test_support::suite_settings_name};
    test_support::scratch_folder scratch_;
    std::wstring photo_ = scratch_.write("beach.jpg", "x").wstring();
    test_support::extension_dll dll_;
    ComPtr<IExplorerCommand> command_ = dll_.create_command();
};

TEST_F(tag_command, is_hidden_when_the_owning_app_is_disabled_or_the_menu_switched_off)
{
    struct case_row
    {
        const char* settings;
        const char* status;
        EXPCMDSTATE expected;
    };
    const case_row rows[] = {
        {R"({})", "enabled", ECS_ENABLED},
        {R"({})", "disabled", ECS_HIDDEN},
        {R"({})", "Disabled", ECS_ENABLED},
        {R"({"general": {"showTagContextMenu": false}})", "enabled", ECS_HIDDEN},
        {R"({"general.showTagContextMenu": false})", "enabled", ECS_HIDDEN},
        {R"({"general": {"showTagContextMenu": "false"}})", "enabled", ECS_ENABLED},
        {R"({"general": {"showTagContextMenu": true}})", "enabled", ECS_ENABLED},
    };
    for (const auto& row : rows)
    {
        settings_.write(test_support::suite_settings_json(row.settings, row.status));
        EXPECT_EQ(state(), row.expected) << row.settings << " " << row.status;
    }
}

TEST_F(tag_command, title_carries_the_hot_key_after_a_tab_when_hot_keys_are_on)
{
    struct case_row
    {
        const char* settings;
        const wchar_t* expected;
    };
    const case_row rows[] = {
        {R"({"hotkeys": {"tagKey": "Ctrl+Shift+T"}})", L"Tag\tCtrl+Shift+T"},
        {R"({"general": {"enableTagHotkeys": true}, "hotkeys": {"tagKey": "Alt+\u00c4"}})",
         L"Tag\tAlt+\u00c4"},
        {R"({"general": {"enableTagHotkeys": false}, "hotkeys": {"tagKey": "Ctrl+T"}})", L"Tag"},
        {R"({"general": {"enableTagHotkeys": "false"}, "hotkeys": {"tagKey": "Ctrl+T"}})", L"Tag\tCtrl+T"},
        {R"({"hotkeys": {"tagKey": ""}})", L"Tag"},
        {R"({"hotkeys": {"tagKey": 7}})", L"Tag"},
    };
    for (const auto& row : rows)
    {
        settings_.write(test_support::suite_settings_json(row.settings));
        EXPECT_EQ(title(), row.expected) << row.settings;
    }
}

TEST_F(tag_command, a_deeply_nested_settings_file_is_a_parse_failure_not_a_crash)
{
    settings_.write(test_support::suite_settings_json(R"({"general": {"showTagContextMenu": false}})"));
    EXPECT_EQ(state(), ECS_HIDDEN);
    settings_.write(std::string(100'000, '[') + std::string(100'000, ']'));
    // The file no longer parses, so the previous settings stay in force.
    EXPECT_EQ(state(), ECS_HIDDEN);
    EXPECT_EQ(title(), L"Tag");
}

TEST_F(tag_command, fixed_answers_site_and_a_new_enumerator_per_opening)
{
    GUID name{};
    EXPECT_EQ(command_->GetCanonicalName(&name), S_OK);
    EXPECT_EQ(name, (GUID{0xa2877438, 0x9a16, 0x4629, {0x91, 0x2a, 0x12, 0x23, 0xb4, 0xe3, 0xb0, 0x25}}));
    EXPCMDFLAGS flags{};
    EXPECT_EQ(command_->GetFlags(&flags), S_OK);
    EXPECT_EQ(flags, ECF_HASSUBCOMMANDS);
    EXPECT_EQ(command_->Invoke(nullptr, nullptr), E_NOTIMPL);
    PWSTR tip = reinterpret_cast<PWSTR>(1);
    EXPECT_EQ(command_->GetToolTip(nullptr, &tip), E_NOTIMPL);
    EXPECT_EQ(tip, nullptr);

    ComPtr<IObjectWithSite> with_site;
    ASSERT_EQ(command_.As(&with_site), S_OK);
    ComPtr<IUnknown> site;
    EXPECT_EQ(with_site->GetSite(IID_PPV_ARGS(&site)), E_FAIL);
    ComPtr<IUnknown> given = test_support::make_items({photo_});
    EXPECT_EQ(with_site->SetSite(given.Get()), S_OK);
    EXPECT_EQ(with_site->GetSite(IID_PPV_ARGS(&site)), S_OK);
    EXPECT_EQ(site.Get(), given.Get());
    EXPECT_EQ(with_site->SetSite(nullptr), S_OK);

    ComPtr<IEnumExplorerCommand> first, second;
    EXPECT_EQ(command_->EnumSubCommands(&first), S_OK);
    EXPECT_EQ(command_->EnumSubCommands(&second), S_OK);
    EXPECT_NE(first.Get(), second.Get());
}
} // namespace
