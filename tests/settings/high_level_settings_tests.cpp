#include "common/folders.h"
#include "high_level_settings/settings_file.h"
#include "settings/settings_support.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace
{
using test_support::scratch_folder;

struct suite_file
{
    scratch_folder scratch;
    high_level_settings::settings_file file{scratch.path(), scratch / L"defaults"};

    bool load(std::string_view json)
    {
        scratch.write(L"High Level Settings.json", json);
        return file.load(true);
    }
};

std::string sortwell_with(std::string_view settings)
{
    return R"({"apps": [{"app_id": "sortwell", "settings": )" + std::string(settings) + "}]}";
}

std::string sortwell_status(std::string_view status)
{
    return R"({"apps": [{"app_id": "sortwell", "status": )" + std::string(status) + "}]}";
}

TEST(suite_settings_table, nested_and_flat_keys_are_one_setting_and_only_json_booleans_are_booleans)
{
    const std::pair<const char*, std::optional<bool>> cases[] = {
        {R"({"general": {"showTagContextMenu": false}})", false},
        {R"({"general.showTagContextMenu": false})", false},
        {R"({"general": {"showTagContextMenu": "false"}})", std::nullopt},
        {R"({"general": {"showTagContextMenu": 1}})", std::nullopt},
        {R"({"general": {"showTagContextMenu": null}})", std::nullopt},
        {R"({"general": {"showTagContextMenu": {"value": false}}})", std::nullopt},
        {R"({"general.showTagContextMenu": false, "general": {"showTagContextMenu": true}})", true},
        {R"({"general": {"showTagContextMenu": false}, "general.showTagContextMenu": ["x"]})", std::nullopt},
    };
    for (const auto& [settings, stored] : cases)
    {
        suite_file suite;
        ASSERT_TRUE(suite.load(sortwell_with(settings)));
        EXPECT_EQ(suite.file.get_bool("sortwell", "general.showTagContextMenu", true), stored.value_or(true))
            << settings;
        EXPECT_EQ(suite.file.get_bool("sortwell", "general.showTagContextMenu", false),
                  stored.value_or(false))
            << settings;
        EXPECT_FALSE(suite.file.get_bool("sortwell", "general.showTagContextMenu.value", false));
    }
}

TEST(suite_settings_table, strings_are_widened_and_anything_else_gives_the_default)
{
    suite_file suite;
    ASSERT_TRUE(suite.load(sortwell_with(
        R"({"hotkeys": {"tagKey": "Ctrl+\u00c4", "cut": "a\u0000b", "flag": true}, "TagKey": "x"})")));
    const auto& file = suite.file;
    EXPECT_EQ(file.get_string("sortwell", "hotkeys.tagKey", L"none"), L"Ctrl+\u00c4");
    EXPECT_EQ(file.get_string("sortwell", "hotkeys.cut", L"none"), L"a");
    EXPECT_EQ(file.get_string("sortwell", "hotkeys.flag", L"none"), L"none");
    EXPECT_EQ(file.get_string("sortwell", "tagKey", L"none"), L"none");
    EXPECT_EQ(file.get_string("Sortwell", "hotkeys.tagKey", L"none"), L"none");
    EXPECT_EQ(file.get_string("brightloom", "hotkeys.tagKey", L""), L"");
}

TEST(suite_settings_apps, only_the_exact_status_disabled_of_the_first_sortwell_record_disables_it)
{
    const std::pair<std::string, bool> cases[] = {
        {sortwell_status(R"("disabled")"), false},
        {sortwell_status(R"("Disabled")"), true},
        {sortwell_status(R"("disabled ")"), true},
        {sortwell_status("false"), true},
        {R"({"apps": [{"app_id": "brightloom", "status": "disabled"}]})", true},
        {R"({"apps": [{"app_id": "sortwell", "status": "disabled"}, {"app_id": "sortwell"}]})", false},
        {R"({"apps": [{"app_id": "sortwell"}, {"app_id": "sortwell", "status": "disabled"}]})", true},
        {R"({"apps": ["sortwell", {"status": "disabled"}, {"app_id": "", "status": "disabled"}]})", true},
    };
    for (const auto& [json, enabled] : cases)
    {
        suite_file suite;
        ASSERT_TRUE(suite.load(json));
        EXPECT_EQ(suite.file.is_owning_app_enabled(), enabled) << json;
    }
}

TEST(suite_settings_apps, unusable_files_keep_the_previous_table_and_a_new_array_replaces_it)
{
    suite_file suite;
    ASSERT_TRUE(suite.load(R"({"version": "1", "apps": [{"app_id": "sortwell", "settings": {"k": "A"}}]})"));
    for (const char* json :
         {"{\"apps\": [", "\xEF\xBB\xBF{\"apps\": []}", "", "[]", "{\"apps\": {}}", "{\"version\": \"2\"}"})
    {
        EXPECT_TRUE(suite.load(json)) << json;
        EXPECT_EQ(suite.file.get_string("sortwell", "k", L""), L"A") << json;
    }
    EXPECT_EQ(suite.file.version(), L"2");
    EXPECT_TRUE(suite.load(R"({"apps": [{"app_id": "brightloom"}]})"));
    EXPECT_EQ(suite.file.get_string("sortwell", "k", L""), L"");
}

TEST(suite_settings_apps, menu_switches_need_the_owning_app_and_their_own_setting)
{
    suite_file suite;
    settings_tests::new_log_text();
    EXPECT_FALSE(suite.file.is_owning_app_enabled());
    EXPECT_FALSE(suite.file.show_recognize_faces_context_menu());
    EXPECT_NE(settings_tests::new_log_text().find("[ERROR] Failed to load from high level settings file " +
                                                  std::filesystem::path(suite.file.file_path()).string()),
              std::string::npos);

    ASSERT_TRUE(suite.load(
        R"({"apps": [{"app_id": "brightloom", "settings": {"general": {"showAutoTagContextMenu": false}}}]})"));
    EXPECT_FALSE(suite.file.show_auto_tag_context_menu());
    EXPECT_TRUE(suite.file.show_recognize_faces_context_menu());
    ASSERT_TRUE(suite.load(sortwell_status(R"("disabled")")));
    EXPECT_FALSE(suite.file.show_recognize_faces_context_menu());
}

TEST(suite_settings_defaults, shipped_file_shows_the_menu_with_its_hotkey_and_without_face_consent)
{
    scratch_folder scratch;
    high_level_settings::settings_file file(scratch.path(), settings_tests::shipped_defaults());
    ASSERT_TRUE(file.is_owning_app_enabled());
    EXPECT_TRUE(file.get_bool("sortwell", "general.showTagContextMenu", false));
    EXPECT_TRUE(file.get_bool("sortwell", "general.enableTagHotkeys", false));
    EXPECT_EQ(file.get_string("sortwell", "hotkeys.tagKey", L""), L"Ctrl+Shift+T");
    EXPECT_TRUE(file.show_auto_tag_context_menu());
    EXPECT_TRUE(file.show_recognize_faces_context_menu());
    EXPECT_FALSE(file.get_bool("brightloom", "people_recognition.enabled", true));
    EXPECT_FALSE(file.get_bool("brightloom", "people_recognition.consent_accepted", true));

    auto& shared = high_level_settings::suite_settings();
    EXPECT_EQ(&shared, &high_level_settings::suite_settings());
    EXPECT_EQ(std::filesystem::path(shared.file_path()), common::local_app_data_folder() / L"Quenbrook" /
                                                             L"Lumora" / L"Settings" /
                                                             L"High Level Settings.json");
}

TEST(suite_settings_lookups, answer_without_heap_allocation_while_the_file_is_unchanged)
{
    suite_file suite;
    ASSERT_TRUE(suite.load(sortwell_with(R"({"general": {"showTagContextMenu": true}})")));
    const auto before = settings_tests::allocations_on_this_thread();
    EXPECT_TRUE(suite.file.is_owning_app_enabled());
    EXPECT_TRUE(suite.file.get_bool("sortwell", "general.showTagContextMenu", false));
    EXPECT_TRUE(suite.file.show_auto_tag_context_menu());
    EXPECT_EQ(settings_tests::allocations_on_this_thread(), before);
}

TEST(suite_settings_concurrency, readers_see_only_values_the_file_held_while_it_is_rewritten)
{
    suite_file suite;
    auto version = [](int i)
    {
        return R"({"apps": [{"app_id": "sortwell", "status": ")" + std::string(i % 2 ? "disabled" : "on") +
               R"(", "settings": {"on": true, "hotkeys": {"tagKey": "key )" + std::to_string(i) + R"("}}}]})";
    };
    ASSERT_TRUE(suite.load(version(0)));
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::atomic<unsigned> keys_seen{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
    {
        readers.emplace_back(
            [&]
            {
                while (!done)
                {
                    suite.file.is_owning_app_enabled();
                    const auto key = suite.file.get_string("sortwell", "hotkeys.tagKey", L"");
                    if (key.size() != 5 || key.compare(0, 4, L"key ") != 0 || key[4] < L'0' ||
                        key[4] > L'4' || !suite.file.get_bool("sortwell", "on", false))
                    {
                        ++wrong;
                        continue;
                    }
                    keys_seen |= 1u << (key[4] - L'0');
                }
            });
    }
    for (int i = 0; i < 1000; ++i)
    {
        suite.scratch.write(L"High Level Settings.json", version(i % 5));
    }
    done = true;
    for (auto& reader : readers)
    {
        reader.join();
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_NE(keys_seen, 1u) << "the readers never saw a rewrite";
}
} // namespace
