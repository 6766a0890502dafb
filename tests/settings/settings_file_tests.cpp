#include "all_tags_settings/settings_file.h"
#include "high_level_settings/settings_file.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <iterator>
#include <random>
#include <thread>
#include <tuple>

std::size_t allocations_on_this_thread();

namespace
{
using all_tags_settings::tag_definition;
using test_support::suite_settings_json;
constexpr const wchar_t* suite_name = L"High Level Settings.json";

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

TEST(settings_file_load, parses_again_only_after_the_write_time_changes_or_when_forced)
{
    both_files files;
    // Value written, its write time in seconds from now, forced, the value then seen.
    const std::tuple<const char*, int, bool, const wchar_t*> steps[] = {
        {"a", 0, false, L"a"},  {"b", 0, false, L"a"},  {"c", 1, false, L"c"},
        {"d", -1, false, L"d"}, {"e", -1, false, L"d"}, {"f", -1, true, L"f"}};
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& [value, seconds, forced, seen] : steps)
    {
        const auto file =
            files.scratch.write(suite_name, suite_settings_json(R"({"k": ")" + std::string(value) + "\"}"));
        std::filesystem::last_write_time(file, now + std::chrono::seconds(seconds));
        EXPECT_TRUE(files.suite.load(forced));
        EXPECT_EQ(files.suite.get_string("sortwell", "k", L""), seen) << value;
    }
    // Menus load on every opening: an unchanged file must cost no heap at all.
    const auto before = allocations_on_this_thread();
    EXPECT_TRUE(files.suite.load(false));
    EXPECT_TRUE(files.suite.show_auto_tag_context_menu());
    EXPECT_EQ(allocations_on_this_thread(), before);
}

TEST(settings_file_load, missing_file_is_copied_once_from_its_default_which_is_retried_until_it_exists)
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
    const test_support::log_mark copied;
    ASSERT_TRUE(files.suite.load(false));
    EXPECT_NE(copied.new_text().find("[INFO] Copied default settings from " +
                                     (files.scratch / L"defaults" / suite_name).string() + " to " +
                                     (files.scratch / suite_name).string() + "\n"),
              std::string::npos)
        << copied.new_text();
    EXPECT_EQ(files.suite.get_string("sortwell", "hotkeys.tagKey", L""), L"Ctrl+Shift+T");
    ASSERT_TRUE(files.tags.load(false));
    EXPECT_EQ(files.tags.tags().size(), 6u);

    const test_support::log_mark later;
    EXPECT_TRUE(files.load(files.suite, suite_settings_json("{}", "disabled")));
    EXPECT_FALSE(files.suite.is_owning_app_enabled());
    EXPECT_EQ(later.new_text(), "");
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
        {suite_settings_json(R"({"general": {"showTagContextMenu": false}})"), true, false, true},
        {suite_settings_json(R"({"general.showTagContextMenu": false})"), true, false, true},
        {suite_settings_json(
             R"({"general.showTagContextMenu": false, "general": {"showTagContextMenu": true}})"),
         false, true, true},
        {suite_settings_json(R"({"general": {"showTagContextMenu": "false"}})"), true, true, true},
        {suite_settings_json(R"({"general": {"showTagContextMenu": 1}})"), false, false, true},
        {suite_settings_json(R"({"general": {"showTagContextMenu": {"value": false}}})"), true, true, true},
        {suite_settings_json("{}", "disabled"), true, true, false},
        {suite_settings_json("{}", "Disabled"), true, true, true},
        {suite_settings_json("{}", "disabled "), true, true, true},
        {R"({"apps": [{"app_id": "sortwell", "status": "disabled"}, {"app_id": "sortwell"}]})", true, true,
         false},
        {R"({"apps": [{"app_id": "sortwell"}, {"app_id": "sortwell", "status": "disabled"}]})", true, true,
         true},
        {R"({"apps": [{"app_id": "brightloom", "status": "disabled"}, {"status": "disabled"}]})", true, true,
         true},
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
    ASSERT_TRUE(files.load(suite, suite_settings_json(R"({"hotkeys": {"tagKey": "Ctrl+\u00c4", "on": true}})",
                                                      "enabled",
                                                      R"({"general": {"showAutoTagContextMenu": false}})")));
    EXPECT_EQ(suite.get_string("sortwell", "hotkeys.tagKey", L"-"), L"Ctrl+\u00c4");
    EXPECT_EQ(suite.get_string("sortwell", "hotkeys.on", L"-"), L"-");
    EXPECT_FALSE(suite.show_auto_tag_context_menu());
}

TEST(suite_settings, concurrent_readers_see_only_values_the_file_held_while_it_is_rewritten)
{
    both_files files;
    auto& suite = files.suite;
    const auto version = [](int i)
    {
        return suite_settings_json(R"({"on": true, "tagKey": ")" + std::to_string(i) + "\"}",
                                   i % 2 ? "disabled" : "on");
    };
    ASSERT_TRUE(files.load(suite, version(0)));
    std::atomic<int> wrong{0}, rewrites_seen{0};
    std::vector<std::jthread> readers;
    for (int r = 0; r < 3; ++r)
    {
        readers.emplace_back(
            [&](std::stop_token stop)
            {
                while (!stop.stop_requested())
                {
                    suite.is_owning_app_enabled();
                    const auto key = suite.get_string("sortwell", "tagKey", L"");
                    wrong += key.size() != 1 || key < L"0" || key > L"4" ||
                             !suite.get_bool("sortwell", "on", false);
                    rewrites_seen += key != L"0";
                }
            });
    }
    for (int i = 0; i < 1000; ++i)
    {
        files.scratch.write(suite_name, version(i % 5));
    }
    readers.clear();
    EXPECT_EQ(wrong, 0);
    EXPECT_NE(rewrites_seen, 0) << "the readers never saw a rewrite";
}

TEST(tag_definitions, order_is_read_like_atoi_empty_fields_differ_from_absent_ones_and_save_keeps_all)
{
    const std::pair<const char*, tag_definition> cases[] = {
        {R"({"name": "Work", "order": 3})", {L"Work", {}, {}, {}, {}}},
        {R"({"name": "\"Q\" \\ \u0001\t\u00e9\ud83d\ude00", "order": " +12ab"})",
         {L"\"Q\" \\ \x0001\t\u00e9\U0001F600", 12, {}, {}, {}}},
        {R"({"order": "x"})", {{}, 0, {}, {}, {}}},
        {R"({"order": "-99999999999"})", {{}, INT_MIN, {}, {}, {}}},
        {R"({"order": "99999999999"})", {{}, INT_MAX, {}, {}, {}}},
        {R"({"icon_not_tagged": "", "keyboard": "w", "x": 1})", {{}, {}, L"", {}, L"w"}},
        {R"({"icon_when_tagged": "C:\\i.ico", "icon_not_tagged": 5})", {{}, {}, {}, L"C:\\i.ico", {}}},
        {R"("Holiday")", {}},
    };
    std::string json = R"({"version": "2.0", "app": {"window": {"height": -1, "width": 800}}, "tags": [{})";
    std::vector<tag_definition> expected(1);
    for (const auto& [text, tag] : cases)
    {
        json += std::string(", ") + text;
        expected.push_back(tag);
    }
    both_files files;
    ASSERT_TRUE(files.load(files.tags, json + "]}"));
    EXPECT_EQ(files.tags.tags(), expected);

    ASSERT_TRUE(files.tags.save());
    EXPECT_EQ(std::ranges::distance(std::filesystem::directory_iterator(files.scratch.path())), 1);
    all_tags_settings::settings_file reread(files.scratch.path(), files.scratch / L"defaults");
    ASSERT_TRUE(reread.load(false));
    EXPECT_EQ(std::tuple(reread.tags(), reread.version(), reread.window_height(), reread.window_width()),
              std::tuple(expected, std::wstring(L"2.0"), -1, 800));
}

TEST(tag_definitions, failed_save_gives_false_and_leaves_the_old_file_whole_and_no_temporary_file)
{
    both_files files;
    const std::string original = R"({"tags": [{"name": "old"}]})";
    ASSERT_TRUE(files.load(files.tags, original));
    files.tags.tags().front().name = L"new";
    // Open without delete sharing: the file cannot be replaced.
    const HANDLE held = CreateFileW(files.tags.file_path().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(files.tags.save());
    CloseHandle(held);
    EXPECT_EQ(test_support::read_file(files.tags.file_path()), original);
    EXPECT_EQ(std::ranges::distance(std::filesystem::directory_iterator(files.scratch.path())), 1);
}

TEST(settings_robustness, hostile_files_and_ten_thousand_mutants_load_and_answer_on_a_small_stack)
{
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    std::vector<std::string> texts = {
        std::string(100'000, '['),
        R"({"apps": [{"app_id": "sortwell", "settings": {"g": )" + deep + "}}], \"tags\": " + deep + "}",
        R"({"apps": [{"app_id": "sortwell\u0000x", "status": "dis\u0000abled"}], "tags": [{"name": "a\u0000b"}]})",
        R"({"apps": [{"app_id": "sortwell", "settings": {"a": 1e400, "b": 123456789012345678901234567890}}],
            "app": {"window": {"height": 2147483648, "width": -1e999}}})",
        R"({"tags": [{"name": "\udc00 \ud800"}, {"name": "\ud83d\ude00", "order": "-0000000000000000000009"}]})",
        "{\"tags\": [{\"name\": \"" + std::string(1'000'000, 'x') + "\"}]}",
    };
    const std::string sample = R"({"version": "1", "app": {"window": {"height": 10, "width": 20}},
        "apps": [{"app_id": "sortwell", "status": "disabled", "settings": {"a.b": [1, "x"], "n": -5,
            "general": {"showTagContextMenu": true}, "g": {"h": {"i": null}}}}, {"app_id": "brightloom"}],
        "tags": [{"name": "R\u00e9sum\u00e9 \ud83d\ude00", "order": " 7", "icon_not_tagged": "", "keyboard": "k"}]})";
    const char interesting[] = "{}[]\",:\\0 1e-.u\xFF\xC3\xA9\xF0\x9F";
    std::mt19937 random(20240611);
    auto below = [&](size_t bound) { return bound == 0 ? 0 : static_cast<size_t>(random() % bound); };
    for (int n = 0; n < 10'000; ++n)
    {
        // Each edit replaces a short run, or the whole rest, with a copied run or one byte (NUL included).
        std::string text = sample;
        for (size_t edits = 1 + below(3); edits > 0; --edits)
        {
            const size_t at = below(text.size() + 1),
                         removed = below(16) ? below(3) ? 0 : below(16) : std::string::npos;
            const size_t from = below(text.size()), length = below(64);
            const std::string piece =
                below(2) ? text.substr(from, length)
                         : std::string(1, static_cast<char>(below(2) ? interesting[below(sizeof(interesting))]
                                                                     : random()));
            text.replace(at, removed, piece);
        }
        texts.push_back(std::move(text));
    }
    both_files files;
    auto load_all = [&]
    {
        for (const auto& text : texts)
        {
            SCOPED_TRACE(text.substr(0, 200));
            EXPECT_TRUE(files.load(files.suite, text));
            files.suite.show_auto_tag_context_menu();
            EXPECT_EQ(files.suite.get_string("sortwell", "never.set", L"-"), L"-");
            if (files.load(files.tags, text))
            {
                ASSERT_TRUE(files.tags.save());
                ASSERT_TRUE(files.tags.load(true));
            }
        }
    };
    // Deep nesting must cost heap, never the stack of Explorer's thread: a recursive parse needs megabytes.
    const HANDLE thread = CreateThread(
        nullptr, 256 * 1024,
        [](void* load) -> DWORD { return (*static_cast<decltype(load_all)*>(load))(), 1; }, &load_all,
        STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    // A thread killed by a stack overflow leaves the process running under Wine: check it finished.
    DWORD finished = 0;
    WaitForSingleObject(thread, INFINITE);
    GetExitCodeThread(thread, &finished);
    CloseHandle(thread);
    EXPECT_EQ(finished, 1u);
}
} // namespace
