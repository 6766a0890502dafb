#include "all_tags_settings/settings_file.h"
#include "settings/settings_support.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace
{
using all_tags_settings::tag_definition;
using test_support::scratch_folder;

struct tags_file
{
    scratch_folder scratch;
    std::shared_ptr<all_tags_settings::settings_file> file =
        std::make_shared<all_tags_settings::settings_file>(scratch.path(), scratch / L"defaults");

    bool load(std::string_view json)
    {
        scratch.write(L"All Tags.json", json);
        return file->load(true);
    }
    std::vector<std::filesystem::path> folder_entries() const
    {
        return {std::filesystem::directory_iterator(scratch.path()), {}};
    }
};

TEST(tag_definitions, order_is_read_from_strings_like_atoi_and_numbers_leave_it_unset)
{
    tags_file tags;
    ASSERT_TRUE(tags.load(R"({"tags": [{"name": "a", "order": 3}, {"order": "3"}, {"order": "x"},
        {"order": " +12ab"}, {"order": "-7"}, {"order": "99999999999"}, {"order": "-99999999999"}]})"));
    std::vector<std::optional<std::int32_t>> orders;
    for (const auto& tag : tags.file->tags())
    {
        orders.push_back(tag.order);
    }
    EXPECT_EQ(orders,
              (std::vector<std::optional<std::int32_t>>{std::nullopt, 3, 0, 12, -7, INT_MAX, INT_MIN}));
}

TEST(tag_definitions, keep_file_order_and_tell_empty_fields_from_absent_ones)
{
    tags_file tags;
    ASSERT_TRUE(tags.load(R"({"tags": [{"name": "Work", "icon_not_tagged": "", "keyboard": "w", "x": 1},
        "Holiday", {"name": "Family", "icon_when_tagged": "C:\\i.ico", "icon_not_tagged": 5, "name": "dup"},
        {"name": "Work"}]})"));
    const std::vector<tag_definition> expected = {
        {L"Work", std::nullopt, L"", std::nullopt, L"w"},
        {},
        {L"Family", std::nullopt, std::nullopt, L"C:\\i.ico", std::nullopt},
        {L"Work", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    EXPECT_EQ(tags.file->tags(), expected);
}

TEST(tag_definitions, missing_or_mistyped_members_leave_previous_values)
{
    tags_file tags;
    ASSERT_TRUE(tags.load(R"({"version": "3", "app": {"window": {"height": 480, "width": 640}},
        "tags": [{"name": "a"}]})"));
    ASSERT_TRUE(tags.load(R"({"app": {"window": {"height": 1.5, "width": 3000000000}}, "tags": {}})"));
    ASSERT_TRUE(tags.load(R"({"version": 4, "app": {"window": {"height": "9", "width": 1e2}}})"));
    EXPECT_EQ(tags.file->version(), L"3");
    EXPECT_EQ(tags.file->window_height(), 480);
    EXPECT_EQ(tags.file->window_width(), 640);
    ASSERT_EQ(tags.file->tags().size(), 1u);

    for (const char* unusable : {"[]", "", "{\"tags\": [", "\xEF\xBB\xBF{\"tags\": []}"})
    {
        EXPECT_FALSE(tags.load(unusable)) << unusable;
        EXPECT_EQ(tags.file->tags().size(), 1u);
    }
    ASSERT_TRUE(tags.load(R"({"tags": []})"));
    EXPECT_TRUE(tags.file->tags().empty());
}

TEST(tag_definitions, save_writes_the_pretty_format_and_parses_back_to_the_same_data)
{
    tags_file tags;
    ASSERT_TRUE(tags.load(R"({"tags": []})"));
    tags.file->set_version(L"2.0");
    tags.file->set_window_size(-1, 800);
    tags.file->tags() = {{L"To review", -12, L"Content\\Icons\\tag_to_review.ico", std::nullopt, L""}};
    ASSERT_TRUE(tags.file->save());
    EXPECT_EQ(test_support::read_file(tags.file->file_path()), R"({
    "version": "2.0",
    "app": {
        "window": {
            "height": -1,
            "width": 800
        }
    },
    "tags": [
        {
            "name": "To review",
            "order": "-12",
            "icon_not_tagged": "Content\\Icons\\tag_to_review.ico",
            "keyboard": ""
        }
    ]
})");

    const std::vector<tag_definition> written = {
        {L"\"Quote\" \\ / \x0001\t\u00e9\u20ac\U0001F600", 0, L"", L"x", std::nullopt},
        {},
        {L"Work", INT_MIN, std::nullopt, std::nullopt, L"Ctrl+W"}};
    tags.file->tags() = written;
    ASSERT_TRUE(tags.file->save());
    tags_file reread;
    std::filesystem::copy_file(tags.file->file_path(), reread.scratch / L"All Tags.json");
    ASSERT_TRUE(reread.file->load(false));
    EXPECT_EQ(reread.file->tags(), written);
    EXPECT_EQ(reread.file->version(), L"2.0");
    EXPECT_EQ(reread.file->window_height(), -1);
    EXPECT_EQ(reread.file->window_width(), 800);
    EXPECT_EQ(tags.folder_entries().size(), 1u);
}

TEST(tag_definitions, failed_save_gives_false_and_leaves_the_old_file_whole)
{
    tags_file tags;
    const std::string original = R"({"tags": [{"name": "old"}]})";
    ASSERT_TRUE(tags.load(original));
    tags.file->tags().assign(1000, tag_definition{L"new", {}, {}, {}, {}});

    // Open without delete sharing: the file cannot be replaced.
    const HANDLE held = CreateFileW(tags.file->file_path().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(tags.file->save());
    CloseHandle(held);
    EXPECT_EQ(test_support::read_file(tags.file->file_path()), original);
    EXPECT_EQ(tags.folder_entries().size(), 1u);

    std::filesystem::remove(tags.file->file_path());
    std::filesystem::create_directory(tags.file->file_path());
    EXPECT_FALSE(tags.file->save());
    EXPECT_EQ(tags.folder_entries().size(), 1u);
}

TEST(tag_definitions, shipped_file_defines_six_tags_with_icons_beside_the_module)
{
    scratch_folder scratch;
    all_tags_settings::settings_file file(scratch.path(), settings_tests::shipped_defaults());
    ASSERT_TRUE(file.load(false));
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"Favorites", L"favorites"}, {L"Family", L"family"},       {L"Holiday", L"holiday"},
        {L"Work", L"work"},           {L"Important", L"important"}, {L"To review", L"to_review"}};
    ASSERT_EQ(file.tags().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        const auto icon = L"Content\\Icons\\tag_" + expected[i].second + L".ico";
        EXPECT_EQ(file.tags()[i].name, expected[i].first);
        EXPECT_EQ(file.tags()[i].icon_not_tagged, icon);
        EXPECT_EQ(file.tags()[i].icon_when_tagged, icon);
    }
}
} // namespace
