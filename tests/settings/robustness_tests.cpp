#include "all_tags_settings/settings_file.h"
#include "high_level_settings/settings_file.h"
#include "settings/settings_support.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <random>
#include <string>
#include <vector>

namespace
{
using test_support::scratch_folder;

// Both settings files in one scratch folder; every lookup must answer whatever the file held.
struct both_files
{
    scratch_folder scratch;
    high_level_settings::settings_file suite{scratch.path(), scratch / L"none"};
    all_tags_settings::settings_file tags{scratch.path(), scratch / L"none"};

    void load_everywhere(std::string_view bytes)
    {
        scratch.write(L"High Level Settings.json", bytes);
        scratch.write(L"All Tags.json", bytes);
        suite.load(true);
        suite.is_owning_app_enabled();
        suite.show_auto_tag_context_menu();
        suite.get_bool("sortwell", "general.showTagContextMenu", true);
        suite.get_string("sortwell", "hotkeys.tagKey", L"");
        if (tags.load(true))
        {
            ASSERT_TRUE(tags.save());
            ASSERT_TRUE(tags.load(true));
        }
    }
};

std::string deep(size_t depth, bool closed)
{
    return std::string(depth, '[') + (closed ? std::string(depth, ']') : "");
}

std::string large_valid_json()
{
    std::string text = R"({"apps": [)";
    for (int i = 0; text.size() < 10'000'000; ++i)
    {
        text += R"({"app_id": "app)" + std::to_string(i) + R"(", "settings": {"general": {"k": "v"}}},)";
    }
    return text + R"({"app_id": "sortwell"}], "tags": [{"name": "only"}]})";
}

TEST(settings_robustness, hostile_files_neither_crash_nor_throw)
{
    using namespace std::string_literals;
    const std::string hostile[] = {
        deep(100'000, false),
        deep(100'000, true),
        R"({"apps": [{"app_id": "sortwell", "settings": {"g": )" + deep(100'000, true) +
            "}}], \"tags\": " + deep(100'000, true) + "}",
        large_valid_json(),
        "{\"tags\": [{\"name\": \"\xFF\xFE\"}]}",
        "{\"apps\": [{\"app_id\": \"sortwell\", \"status\": \"disabled\xC3\"}]}",
        "{\"apps\": [{\"app_id\": \"sortwell\0\", \"status\": \"disabled\"}]}"s,
        R"({"apps": [{"app_id": "sortwell\u0000x", "status": "dis\u0000abled"}], "tags": [{"name": "a\u0000b"}]})",
        R"({"apps": [{"app_id": "sortwell", "settings": {"a": 1e400}}]})",
        R"({"apps": [{"app_id": "sortwell", "settings": {"a": 123456789012345678901234567890, "b": -2147483649}}],
            "app": {"window": {"height": 2147483648, "width": -1e999}}})",
        R"({"tags": [{"name": "\udc00 \ud800"}, {"name": "\ud83d\ude00", "order": "-0000000000000000000000009"}]})",
        "{\"tags\": [{\"name\": \"" + std::string(1'000'000, 'x') + "\"}]}",
        "null",
        "0",
        "\"\"",
        " ",
        "\xEF\xBB\xBF",
        "{\"apps\":",
        "{\"version\": \"\\u\"}",
    };
    both_files files;
    for (const auto& bytes : hostile)
    {
        EXPECT_NO_THROW(files.load_everywhere(bytes)) << bytes.substr(0, 80);
    }
}

// Valid UTF-8 without NUL: here read_json must agree exactly with RapidJSON's plain recursive parse.
bool is_plain_utf8(const std::string& text)
{
    return text.find('\0') == std::string::npos &&
           (text.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                                static_cast<int>(text.size()), nullptr, 0) > 0);
}

// Compared as text: the DOM's own equality mismatches objects with duplicate keys.
std::string serialized(const rapidjson::Document& document)
{
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return buffer.GetString();
}

TEST(settings_robustness, ten_thousand_mutants_of_valid_files_load_safely_and_parse_like_the_recursive_parser)
{
    const std::string samples[] = {
        test_support::read_file(settings_tests::shipped_defaults() / L"High Level Settings.json"),
        test_support::read_file(settings_tests::shipped_defaults() / L"All Tags.json"),
        R"({"version": "1", "apps": [{"app_id": "sortwell", "status": "disabled", "settings": {"a.b": [1, "x"],
            "n": -5, "g": {"h": {"i": null}}}}], "tags": [{"name": "R\u00e9sum\u00e9 \ud83d\ude00", "order": " 7"}]})",
    };
    ASSERT_FALSE(samples[0].empty());
    const char interesting[] = "{}[]\",:\\0 1e-.u\xFF\xC3\xA9\xF0\x9F";
    std::mt19937 random(20240611);
    auto below = [&](size_t bound) { return bound == 0 ? 0 : static_cast<size_t>(random() % bound); };

    both_files files;
    int compared = 0;
    for (int n = 0; n < 10'000; ++n)
    {
        std::string text = samples[n % std::size(samples)];
        for (size_t edits = 1 + below(3); edits > 0; --edits)
        {
            const size_t at = below(text.size() + 1);
            switch (random() % 5)
            {
            case 0:
                text.insert(at, 1, n % 7 == 0 ? '\0' : interesting[below(sizeof(interesting) - 1)]);
                break;
            case 1:
                text.erase(at, below(16));
                break;
            case 2:
                text.insert(at, text.substr(below(text.size()), below(64)));
                break;
            case 3:
                text.resize(at);
                break;
            default:
                if (at < text.size())
                {
                    text[at] = static_cast<char>(random());
                }
            }
        }
        const auto path = files.scratch.write(n % 2 ? L"All Tags.json" : L"High Level Settings.json", text);
        const auto ours = common::setting_utilities::read_json(path.wstring());
        if (is_plain_utf8(text))
        {
            rapidjson::Document plain;
            plain.Parse(text.c_str());
            ASSERT_EQ(ours.HasParseError(), plain.HasParseError()) << text;
            ASSERT_TRUE(ours.HasParseError() || serialized(ours) == serialized(plain)) << text;
            ++compared;
        }
        auto& file =
            n % 2 ? static_cast<common::setting_utilities::common_settings_file&>(files.tags) : files.suite;
        EXPECT_NO_THROW(file.load(true));
        files.suite.get_bool("sortwell", "general.showTagContextMenu", true);
        files.suite.get_string("sortwell", "hotkeys.tagKey", L"");
        files.suite.is_owning_app_enabled();
    }
    EXPECT_GT(compared, 5'000);
}
} // namespace
