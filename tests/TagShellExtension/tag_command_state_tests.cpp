// The Tag command's visibility decision, driven through the command object against real
// files, with the volume query replaced: Wine never reports extended-attribute support.
#include "TagShellExtension/supported_item_types.h"
#include "TagShellExtension/tag_context_main_menu_item.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
using namespace tag_extension;
using test_support::fake_selection;

struct fake_volumes
{
    static inline bool extended_attributes = false;
    static inline std::map<std::wstring, int> queries;

    static BOOL WINAPI query(LPCWSTR root, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR, DWORD)
    {
        ++queries[root];
        *flags = FILE_CASE_SENSITIVE_SEARCH | (extended_attributes ? FILE_SUPPORTS_EXTENDED_ATTRIBUTES : 0);
        return TRUE;
    }
};

class tag_command_state : public testing::Test
{
protected:
    void SetUp() override
    {
        settings_.write(test_support::suite_settings_json(R"({"general": {"showTagContextMenu": true}})"));
        saved_ = volume_functions();
        volume_functions().get_volume_information = &fake_volumes::query;
        fake_volumes::queries.clear();
        clear_volume_cache_for_testing();
    }
    void TearDown() override
    {
        volume_functions() = saved_;
        clear_volume_cache_for_testing();
    }

    EXPCMDSTATE state_of(const fake_selection& selection, bool extended_attributes)
    {
        fake_volumes::extended_attributes = extended_attributes;
        clear_volume_cache_for_testing();
        auto command = make_object<tag_context_main_menu_item>();
        EXPCMDSTATE state = ECS_DISABLED;
        EXPECT_EQ(command->GetState(test_support::make_items(selection).Get(), FALSE, &state), S_OK);
        return state;
    }

    std::wstring file(const char* name) { return scratch_.write(name, "x").wstring(); }

    test_support::settings_override settings_{test_support::suite_settings_name};
    test_support::scratch_folder scratch_;
    volume_api saved_;
};

TEST_F(tag_command_state, extension_and_volume_decide_for_files)
{
    struct case_row
    {
        const char* name;
        EXPCMDSTATE without_attributes;
        EXPCMDSTATE with_attributes;
    };
    const case_row rows[] = {
        {"photo.jpg", ECS_ENABLED, ECS_ENABLED},      {"Photo.JPG", ECS_ENABLED, ECS_ENABLED},
        {"clip.Mp4", ECS_ENABLED, ECS_ENABLED},       {"page.png", ECS_HIDDEN, ECS_ENABLED},
        {"app.webmanifest", ECS_HIDDEN, ECS_ENABLED}, {"a.c", ECS_HIDDEN, ECS_ENABLED},
        {"song.mp3", ECS_HIDDEN, ECS_HIDDEN},         {"backup.tar.gz", ECS_HIDDEN, ECS_HIDDEN},
        {"README", ECS_HIDDEN, ECS_HIDDEN},           {"trailing.", ECS_HIDDEN, ECS_HIDDEN},
    };
    for (const auto& row : rows)
    {
        const auto path = file(row.name);
        EXPECT_EQ(state_of({{path}}, false), row.without_attributes) << row.name;
        EXPECT_EQ(state_of({{path}}, true), row.with_attributes) << row.name;
    }
}

TEST_F(tag_command_state, only_the_first_item_decides)
{
    const auto photo = file("a.jpg");
    const auto text = file("b.txt");
    EXPECT_EQ(state_of({{photo, text}}, false), ECS_ENABLED);
    EXPECT_EQ(state_of({{text, photo}}, false), ECS_HIDDEN);
}

TEST_F(tag_command_state, folders_need_extended_attributes_and_unreadable_paths_count_as_files)
{
    const auto folder = (scratch_ / "Holiday.jpg").wstring(); // a folder named like a photo
    std::filesystem::create_directories(folder);
    EXPECT_EQ(state_of({{folder}}, false), ECS_HIDDEN);
    EXPECT_EQ(state_of({{folder}}, true), ECS_ENABLED);

    const auto missing = (scratch_ / "gone" / "photo.heic").wstring();
    EXPECT_EQ(state_of({{missing}}, false), ECS_ENABLED);
}

TEST_F(tag_command_state, each_volume_root_is_asked_once_for_the_life_of_the_process)
{
    fake_volumes::extended_attributes = true;
    auto command = make_object<tag_context_main_menu_item>();
    EXPCMDSTATE state{};
    for (const auto* path : {L"C:\\Docs\\a.png", L"c:\\other\\b.docx", L"\\\\server\\share\\c.png",
                             L"\\\\server\\other\\d.png", L"D:\\e.png"})
    {
        command->GetState(test_support::make_items({path}).Get(), FALSE, &state);
        EXPECT_EQ(state, ECS_ENABLED) << path;
    }
    // The caller lower-cases, so C:\ and c:\ share one entry; a UNC root ends after the server.
    EXPECT_EQ(fake_volumes::queries,
              (std::map<std::wstring, int>{{L"c:\\", 1}, {L"\\\\server\\", 1}, {L"d:\\", 1}}));
}

TEST_F(tag_command_state, a_failed_volume_query_is_remembered_as_no_support)
{
    volume_functions().get_volume_information = [](LPCWSTR, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR,
                                                   DWORD) -> BOOL { return FALSE; };
    EXPECT_FALSE(volume_supports_extended_attributes(L"q:\\a.png"));
    volume_functions().get_volume_information = &fake_volumes::query;
    fake_volumes::extended_attributes = true;
    EXPECT_FALSE(volume_supports_extended_attributes(L"q:\\b.png"));
    EXPECT_TRUE(fake_volumes::queries.empty());
}

TEST_F(tag_command_state, selection_failures_hide_the_command_with_one_log_line)
{
    const auto photo = file("a.jpg");
    const test_support::log_mark before_display_name;
    auto command = make_object<tag_context_main_menu_item>();
    EXPCMDSTATE state = ECS_ENABLED;
    fake_selection no_name{{photo}};
    no_name.fail_display_name = true;
    EXPECT_EQ(command->GetState(test_support::make_items(no_name).Get(), FALSE, &state), S_OK);
    EXPECT_EQ(state, ECS_HIDDEN);

    fake_selection no_item{{photo}};
    no_item.fail_get_item = true;
    state = ECS_ENABLED;
    EXPECT_EQ(command->GetState(test_support::make_items(no_item).Get(), FALSE, &state), S_OK);
    EXPECT_EQ(state, ECS_HIDDEN);

    state = ECS_ENABLED;
    EXPECT_EQ(command->GetState(nullptr, FALSE, &state), S_OK);
    EXPECT_EQ(state, ECS_HIDDEN);
    EXPECT_EQ(command->GetState(nullptr, FALSE, nullptr), E_POINTER);

    const std::string log = before_display_name.new_text();
    EXPECT_NE(log.find("[ERROR] is_supported_by_context_menu: Unable to get display name "
                       "GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[ERROR] Unable to determine selection state and/or supported class type(s)\n"),
              std::string::npos)
        << log;
}
} // namespace
