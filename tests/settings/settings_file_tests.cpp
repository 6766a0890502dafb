#include "all_tags_settings/settings_file.h"
#include "common/unique_resources.h"
#include "high_level_settings/settings_file.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <iterator>
#include <thread>
#include <tuple>

std::size_t allocations_on_this_thread();

namespace
{
using test_support::suite_settings_json;

// Both files in one scratch folder, with their defaults in a subfolder.
struct both_files
{
    test_support::scratch_folder scratch;
    high_level_settings::settings_file suite{scratch.path(), scratch / L"defaults"};
    all_tags_settings::settings_file tags{scratch.path(), scratch / L"defaults"};

    bool load(common::setting_utilities::common_settings_file& file, std::string_view json)
    {
        scratch.write(file.file_path(), json);
        return file.load(true);
    }
};

TEST(settings_file_load, parses_again_only_after_the_write_time_or_size_changes_or_when_forced)
{
    both_files files;
    // Value written, its write time in seconds from now, forced, held by another handle without
    // sharing while loading, the value then seen.
    const std::tuple<const char*, int, bool, bool, const wchar_t*> steps[] = {
        {"a", 0, false, false, L"a"},    {"b", 0, false, false, L"a"},  {"c", 1, false, false, L"c"},
        {"d", -1, false, false, L"d"},   {"e", -1, false, false, L"d"}, {"f", -1, true, false, L"f"},
        {"gg", -1, false, false, L"gg"}, {"h", 2, false, true, L"gg"},  {"h", 2, false, false, L"h"}};
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& [value, seconds, forced, held, seen] : steps)
    {
        const auto file = files.scratch.write(test_support::suite_settings_name,
                                              suite_settings_json(R"({"k": ")" + std::string(value) + "\"}"));
        std::filesystem::last_write_time(file, now + std::chrono::seconds(seconds));
        const common::unique_hfile holder(
            held ? CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                 : INVALID_HANDLE_VALUE);
        EXPECT_TRUE(files.suite.load(forced));
        EXPECT_EQ(files.suite.get_string("sortwell", "k", L""), seen) << value;
    }
    // Menus load on every opening: an unchanged file must cost no heap at all.
    const auto before = allocations_on_this_thread();
    EXPECT_TRUE(files.suite.load(false));
    EXPECT_TRUE(files.suite.show_auto_tag_context_menu());
    EXPECT_EQ(allocations_on_this_thread(), before);
}

TEST(settings_file_load, missing_file_fails_with_one_critical_line_until_its_default_is_there_to_copy)
{
    both_files files;
    const test_support::log_mark missing;
    EXPECT_FALSE(files.suite.load(false));
    const auto log = missing.new_text();
    EXPECT_NE(log.find("[CRITICAL] Unable to copy settings file. Details "), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_FALSE(files.suite.is_owning_app_enabled());

    // The shipped defaults; under Wine the source tree is drive Z:.
    std::filesystem::copy(std::filesystem::path(L"Z:") / TAG_SOURCE_DIR / L"Content\\Configurations",
                          files.scratch / L"defaults");
    ASSERT_TRUE(files.suite.load(false));
}

TEST(settings_file_load, unusable_text_keeps_the_previous_data_and_only_a_new_list_replaces_it)
{
    both_files files;
    ASSERT_TRUE(files.load(files.suite, suite_settings_json(R"({"k": "A"})")));
    ASSERT_TRUE(files.load(files.tags, R"({"tags": [{"name": "a"}]})"));
    // Text, whether the tag file accepts it.
    const std::pair<const char*, bool> cases[] = {
        {"\xEF\xBB\xBF{\"apps\": [], \"tags\": []}", false},
        {"", false},
        {"{\"apps\": [], \"tags\": [", false},
        {"[]", false},
        {"{\"apps\": [], \"tags\": [], \"x\": \"\xC0\xAF\"}", false},
        {"{\"apps\": {}, \"tags\": {}}", true},
        {"{\"version\": \"2\"}", true}};
    for (const auto& [text, accepted] : cases)
    {
        EXPECT_TRUE(files.load(files.suite, text)) << text;
        EXPECT_EQ(files.load(files.tags, text), accepted) << text;
        EXPECT_EQ(files.suite.get_string("sortwell", "k", L""), L"A") << text;
        EXPECT_EQ(files.tags.tags().size(), 1u) << text;
    }
    ASSERT_TRUE(files.load(files.suite, R"({"apps": []})") && files.load(files.tags, R"({"tags": []})"));
    EXPECT_EQ(files.suite.get_string("sortwell", "k", L""), L"");
    EXPECT_TRUE(files.tags.tags().empty());
}

TEST(suite_settings, only_booleans_at_flat_or_one_level_keys_count_and_only_exact_disabled_disables)
{
    // Text, default given for general.showTagContextMenu, the answer, whether the owning app is enabled.
    const std::tuple<std::string, bool, bool, bool> cases[] = {
        {suite_settings_json(
             R"({"general.showTagContextMenu": false, "general": {"showTagContextMenu": true}})"),
         false, true, true},
        // Another application's setting of the same key is not the owning app's.
        {suite_settings_json(R"({"general": {"showTagContextMenu": 1}})", "enabled",
                             R"({"general": {"showTagContextMenu": true}})"),
         false, false, true},
        {suite_settings_json(R"({"general": {"showTagContextMenu": {"value": false}}})"), true, true, true},
        {suite_settings_json("{}", "disabled "), true, true, true},
        {R"({"apps": [{"app_id": "sortwell", "status": "disabled"}, {"app_id": "sortwell"}]})", true, true,
         false},
    };
    both_files files;
    auto& suite = files.suite;
    for (const auto& [json, fallback, shown, enabled] : cases)
    {
        ASSERT_TRUE(files.load(suite, json));
        EXPECT_EQ(std::tuple(suite.get_bool("sortwell", "general.showTagContextMenu", fallback),
                             suite.get_bool("sortwell", "general.showTagContextMenu.value", true),
                             suite.is_owning_app_enabled(), suite.show_auto_tag_context_menu()),
                  std::tuple(shown, true, enabled, enabled))
            << json;
    }
}

TEST(suite_settings, concurrent_readers_see_only_values_the_file_held_while_it_is_rewritten)
{
    both_files files;
    ASSERT_TRUE(files.load(files.suite, suite_settings_json(R"({"on": true, "tagKey": "0"})")));
    std::atomic<int> wrong{0}, rewrites_seen{0};
    const auto read = [&](std::stop_token stop)
    {
        while (!stop.stop_requested())
        {
            files.suite.is_owning_app_enabled();
            const auto key = files.suite.get_string("sortwell", "tagKey", L"");
            wrong +=
                key.size() != 1 || key < L"0" || key > L"4" || !files.suite.get_bool("sortwell", "on", false);
            rewrites_seen += key != L"0";
        }
    };
    {
        const std::jthread readers[] = {std::jthread(read), std::jthread(read), std::jthread(read)};
        for (int i = 0; i < 1000; ++i)
        {
            files.scratch.write(
                test_support::suite_settings_name,
                suite_settings_json(R"({"on": true, "tagKey": ")" + std::to_string(i % 5) + "\"}",
                                    i % 2 ? "disabled" : "on"));
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_NE(rewrites_seen, 0);
}

TEST(tag_definitions, fields_are_read_strictly_survive_a_save_and_a_failed_save_leaves_the_file_whole)
{
    both_files files;
    ASSERT_TRUE(files.load(files.tags,
                           R"({"version": "2.0", "app": {"window": {"height": -1, "width": 800}}, "tags": [
        {"name": "Work", "order": 3}, {"name": "\"Q\" \\ \u0001\t\u00e9\ud83d\ude00", "order": " +12ab"},
        {"order": "x"}, {"order": "-99999999999"}, {"order": "99999999999"},
        {"icon_not_tagged": "", "keyboard": "w", "x": 1}, {"icon_when_tagged": "C:\\i.ico", "icon_not_tagged": 5},
        "Holiday"]})"));
    // One per element of "tags", in order.
    const std::vector<all_tags_settings::tag_definition> expected = {
        {L"Work", {}, {}, {}, {}},
        {L"\"Q\" \\ \x0001\t\u00e9\U0001F600", 12, {}, {}, {}},
        {{}, 0, {}, {}, {}},
        {{}, INT_MIN, {}, {}, {}},
        {{}, INT_MAX, {}, {}, {}},
        {{}, {}, L"", {}, L"w"},
        {{}, {}, {}, L"C:\\i.ico", {}},
        {}};
    EXPECT_EQ(files.tags.tags(), expected);

    ASSERT_TRUE(files.tags.save());
    all_tags_settings::settings_file reread(files.scratch.path(), files.scratch / L"defaults");
    ASSERT_TRUE(reread.load(false));
    EXPECT_EQ(std::tuple(reread.tags(), reread.version(), reread.window_height(), reread.window_width()),
              std::tuple(expected, std::wstring(L"2.0"), -1, 800));

    // Numbers that are no 32-bit integers leave the size as it was.
    ASSERT_TRUE(files.load(files.tags, R"({"app": {"window": {"height": 2147483648, "width": 1.5}}})"));
    EXPECT_EQ(std::pair(files.tags.window_height(), files.tags.window_width()), std::pair(-1, 800));

    // Open without delete sharing: the file cannot be replaced.
    const std::string before = test_support::read_file(files.tags.file_path());
    common::unique_hfile held(CreateFileW(files.tags.file_path().c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                          nullptr));
    files.tags.tags().clear();
    EXPECT_FALSE(files.tags.save());
    held.reset();
    EXPECT_EQ(test_support::read_file(files.tags.file_path()), before);
    EXPECT_EQ(std::ranges::distance(std::filesystem::directory_iterator(files.scratch.path())), 1);
}
} // namespace
