// The Tag command's title and visibility, driven through the command object against real files
// and the user's suite settings, with the volume query replaced: Wine never reports
// extended-attribute support.
#include "TagShellExtension/supported_item_types.h"
#include "TagShellExtension/tag_context_main_menu_item.h"
#include "support/explorer_calls.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace
{
using namespace tag_extension;
using test_support::make_items;

class tag_command : public testing::Test
{
protected:
    static inline bool extended_attributes = false;
    static inline std::map<std::wstring, int> queries;

    static BOOL WINAPI query(LPCWSTR root, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR, DWORD)
    {
        ++queries[root];
        *flags = FILE_CASE_SENSITIVE_SEARCH | (extended_attributes ? FILE_SUPPORTS_EXTENDED_ATTRIBUTES : 0);
        return root[0] != L'q'; // q:\ cannot be asked
    }

    void SetUp() override
    {
        settings_.write(test_support::suite_settings_json("{}"));
        queries.clear();
    }
    void TearDown() override { clear_volume_cache_for_testing(); }

    EXPCMDSTATE state_of(IShellItemArray* items)
    {
        EXPCMDSTATE state = ECS_DISABLED;
        EXPECT_EQ(command_->GetState(items, FALSE, &state), S_OK);
        return state;
    }

    // Asked afresh of volumes that do or do not support extended attributes.
    EXPCMDSTATE state_of(const test_support::fake_selection& selection, bool with_attributes)
    {
        extended_attributes = with_attributes;
        clear_volume_cache_for_testing();
        return state_of(make_items(selection).Get());
    }

    std::wstring file(const char* name) { return scratch_.write(name, "x").wstring(); }

    test_support::settings_override settings_{test_support::suite_settings_name};
    test_support::scratch_folder scratch_;
    const test_support::scoped_seam<volume_api> volume_{volume_functions(), {&query}};
    com_ptr<tag_context_main_menu_item> command_ = make_object<tag_context_main_menu_item>();
};

TEST_F(tag_command, shows_only_with_the_owning_app_and_menu_switch_on_and_puts_the_hot_key_after_a_tab)
{
    const auto photo = file("beach.jpg");
    const std::tuple<const char*, const char*, EXPCMDSTATE, const wchar_t*> rows[] = {
        {R"({"hotkeys": {"tagKey": "Ctrl+Shift+T"}})", "enabled", ECS_ENABLED, L"Tag\tCtrl+Shift+T"},
        {R"({"general": {"showTagContextMenu": false, "enableTagHotkeys": false}, "hotkeys": {"tagKey": "T"}})",
         "enabled", ECS_HIDDEN, L"Tag"},
        {R"({"general": {"showTagContextMenu": false}, "hotkeys": {"tagKey": ""}})", "disabled", ECS_HIDDEN,
         L"Tag"},
        {R"({"general": {"showTagContextMenu": true}})", "disabled", ECS_HIDDEN, L"Tag"},
        {R"({"hotkeys": {"tagKey": 7}})", "enabled", ECS_ENABLED, L"Tag"},
    };
    for (const auto& [settings, status, state, title] : rows)
    {
        settings_.write(test_support::suite_settings_json(settings, status));
        EXPECT_EQ(state_of({{photo}}, false), state) << settings << status;
        const auto entry = explorer_driver::read_entry(command_.Get(), nullptr);
        EXPECT_EQ(std::pair(entry.title_result, entry.title), std::pair(S_OK, std::wstring(title)))
            << settings;
    }
}

TEST_F(tag_command,
       the_first_item_decides_files_need_a_supported_extension_and_volume_folders_the_volume_failures_hide_it)
{
    const auto photo = file("Photo.JPG"), song = file("song.mp3");
    const test_support::log_mark mark;
    // Selection, then its state on volumes without and with extended attributes.
    const std::tuple<test_support::fake_selection, EXPCMDSTATE, EXPCMDSTATE> rows[] = {
        {{{photo}}, ECS_ENABLED, ECS_ENABLED},
        {{{file("page.png")}}, ECS_HIDDEN, ECS_ENABLED},
        {{{song}}, ECS_HIDDEN, ECS_HIDDEN},
        {{{file("backup.tar.gz")}}, ECS_HIDDEN, ECS_HIDDEN},
        {{{file("README")}}, ECS_HIDDEN, ECS_HIDDEN},
        {{{file("trailing.")}}, ECS_HIDDEN, ECS_HIDDEN},
        {{{scratch_.write("Holiday.jpg\\x").parent_path().wstring()}}, ECS_HIDDEN, ECS_ENABLED}, // a folder
        {{{(scratch_ / "gone" / "photo.heic").wstring()}},
         ECS_ENABLED,
         ECS_ENABLED}, // missing: counts as a file
        {{{photo, song}}, ECS_ENABLED, ECS_ENABLED},
        {{{song, photo}}, ECS_HIDDEN, ECS_HIDDEN},
        {{{photo}, false, true}, ECS_HIDDEN, ECS_HIDDEN}, // an unreadable name
        {{{photo}, true, false}, ECS_HIDDEN, ECS_HIDDEN}, // a failed item
    };
    for (const auto& [selection, without_attributes, with_attributes] : rows)
    {
        EXPECT_EQ(state_of(selection, false), without_attributes) << selection.paths[0];
        EXPECT_EQ(state_of(selection, true), with_attributes) << selection.paths[0];
    }
    EXPECT_EQ(state_of(nullptr), ECS_HIDDEN);
    EXPECT_EQ(command_->GetState(nullptr, FALSE, nullptr), E_POINTER);
    // Each failure logs one error line; a missing selection is no failure.
    const std::string log = mark.new_text();
    EXPECT_TRUE(std::regex_match(log, std::regex(R"(([^\n]*\[ERROR\] [^\n]+\n){4})"))) << log;
}

TEST_F(tag_command, each_volume_root_is_asked_once_and_a_failed_query_is_remembered_as_no_support)
{
    extended_attributes = true;
    for (const auto* path : {L"C:\\Docs\\a.png", L"c:\\other\\b.docx", L"\\\\server\\share\\c.png",
                             L"\\\\server\\share\\f\\g.png", L"\\\\server\\other\\d.png", L"D:\\e.png"})
    {
        EXPECT_EQ(state_of(make_items({path}).Get()), ECS_ENABLED) << path;
    }
    // The caller lower-cases, so C:\ and c:\ share one entry; a network volume is a share.
    EXPECT_EQ(queries,
              (std::map<std::wstring, int>{
                  {L"c:\\", 1}, {L"\\\\server\\other\\", 1}, {L"\\\\server\\share\\", 1}, {L"d:\\", 1}}));

    EXPECT_FALSE(volume_supports_extended_attributes(L"q:\\a.png"));
    EXPECT_FALSE(volume_supports_extended_attributes(L"q:\\b.png"));
    EXPECT_EQ(queries[L"q:\\"], 1);
}
} // namespace
