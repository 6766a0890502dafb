#include "common/setting_utilities/common_settings_file.h"
#include "settings/settings_support.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

namespace
{
using common::setting_utilities::read_json;
using test_support::scratch_folder;

// Counts parses and keeps what read_json made of the file each time.
class probe_file final : public common::setting_utilities::common_settings_file
{
public:
    probe_file(const std::filesystem::path& folder, const std::filesystem::path& defaults)
        : common_settings_file(folder, defaults, L"Probe")
    {
    }
    bool parse() override
    {
        ++parses;
        error = read_json(file_path()).GetParseError();
        if (!throw_text.empty())
        {
            throw std::runtime_error(throw_text);
        }
        return result;
    }
    bool save() override { return false; }

    int parses = 0;
    rapidjson::ParseErrorCode error = rapidjson::kParseErrorNone;
    bool result = true;
    std::string throw_text;
};

void set_write_time(const std::filesystem::path& file, std::uint64_t ticks)
{
    const HANDLE handle =
        CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SetFileTime(handle, nullptr, nullptr, &time);
    CloseHandle(handle);
}

TEST(settings_file_load, parses_again_only_when_the_write_time_changes_in_either_direction)
{
    scratch_folder scratch;
    const auto file = scratch.write(L"Probe.json", "{}");
    probe_file probe(scratch.path(), scratch / L"defaults");
    const std::uint64_t noon = 133'500'000'000'000'000;
    const int expected_parses[] = {1, 1, 2, 3, 3};
    const std::uint64_t times[] = {noon, noon, noon + 10'000'000, noon - 10'000'000, noon - 10'000'000};
    for (int step = 0; step < 5; ++step)
    {
        set_write_time(file, times[step]);
        EXPECT_TRUE(probe.load(false));
        EXPECT_EQ(probe.parses, expected_parses[step]) << step;
    }
    EXPECT_TRUE(probe.load(true));
    EXPECT_EQ(probe.parses, 4);
}

TEST(settings_file_load, unchanged_file_is_neither_opened_nor_allocates)
{
    scratch_folder scratch;
    const auto file = scratch.write(L"Probe.json", "{}");
    probe_file probe(scratch.path(), scratch / L"defaults");
    ASSERT_TRUE(probe.load(false));

    // Held without sharing: opening it now would read nothing.
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const auto before = settings_tests::allocations_on_this_thread();
    EXPECT_TRUE(probe.load(false));
    EXPECT_EQ(settings_tests::allocations_on_this_thread(), before);
    EXPECT_EQ(probe.parses, 1);
    EXPECT_TRUE(probe.load(true));
    EXPECT_EQ(probe.error, rapidjson::kParseErrorDocumentEmpty);
    CloseHandle(held);
}

TEST(settings_file_load, copies_a_missing_file_from_its_default_once_and_parses_the_copy)
{
    scratch_folder scratch;
    const auto default_file = scratch.write(L"module\\Content\\Configurations\\Probe.json", R"({"a": 1})");
    probe_file probe(scratch.path(), default_file.parent_path());
    settings_tests::new_log_text();

    EXPECT_TRUE(probe.load(false));
    EXPECT_EQ(probe.parses, 1);
    EXPECT_EQ(probe.error, rapidjson::kParseErrorNone);
    EXPECT_EQ(test_support::read_file(probe.file_path()), R"({"a": 1})");
    const auto log = settings_tests::new_log_text();
    EXPECT_NE(log.find("[INFO] Copied default settings from " + default_file.string() + " to " +
                       (scratch / L"Probe.json").string() + "\n"),
              std::string::npos)
        << log;

    std::filesystem::remove(default_file);
    EXPECT_TRUE(probe.load(true));
    EXPECT_EQ(settings_tests::new_log_text(), "");
}

TEST(settings_file_load, missing_default_logs_one_critical_line_and_is_tried_again)
{
    scratch_folder scratch;
    probe_file probe(scratch.path(), scratch / L"defaults");
    settings_tests::new_log_text();

    EXPECT_FALSE(probe.load(false));
    EXPECT_EQ(probe.parses, 0);
    EXPECT_FALSE(std::filesystem::exists(probe.file_path()));
    const auto log = settings_tests::new_log_text();
    EXPECT_NE(log.find("[CRITICAL] Unable to copy settings file. Details "), std::string::npos) << log;
    EXPECT_NE(log.find("copy_file"), std::string::npos) << log;
    EXPECT_EQ(log.find('\n'), log.size() - 1) << log;

    scratch.write(L"defaults/Probe.json", "{}");
    EXPECT_TRUE(probe.load(false));
    EXPECT_EQ(probe.parses, 1);
}

TEST(settings_file_load, failed_or_throwing_parse_gives_false_and_is_retried)
{
    scratch_folder scratch;
    scratch.write(L"Probe.json", "{}");
    probe_file probe(scratch.path(), scratch / L"defaults");
    settings_tests::new_log_text();
    probe.result = false;
    EXPECT_FALSE(probe.load(false));
    EXPECT_FALSE(probe.load(false));
    probe.throw_text = "parser broke {}";
    EXPECT_FALSE(probe.load(false));
    EXPECT_EQ(probe.parses, 3);
    EXPECT_NE(settings_tests::new_log_text().find(
                  "[CRITICAL] Unable to copy settings file. Details parser broke {}"),
              std::string::npos);
}

TEST(read_json, parses_strict_json_up_to_the_first_nul_byte_or_invalid_utf8_sequence)
{
    using namespace std::string_literals;
    const std::pair<std::string, bool> cases[] = {
        {"\xEF\xBB\xBF{}", false},
        {"", false},
        {"{\"a\": 1,}", false},
        {"// note\n{}", false},
        {"[NaN]", false},
        {" \t\r\n{}\n", true},
        {"{\"a\": 1}\0 junk"s, true},
        {"{\"a\": \"x\0y\"}"s, false},
        {"{\"a\": 1}\xFF junk", true},
        {"{\"a\": 1}\xE2\x82", true},
        {"{\"a\": \"\xC0\xAF\"}", false},
        {"{\"a\": \"\xED\xA0\x80\"}", false},
        {"{\"a\": \"\xF4\x90\x80\x80\"}", false},
        {"{\"a long run of ascii\": \"\x80\"}", false},
        {"[\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"]", true},
    };
    scratch_folder scratch;
    for (const auto& [bytes, parses] : cases)
    {
        EXPECT_EQ(!read_json(scratch.write(L"t.json", bytes).wstring()).HasParseError(), parses) << bytes;
    }
    EXPECT_EQ(read_json((scratch / L"missing.json").wstring()).GetParseError(),
              rapidjson::kParseErrorDocumentEmpty);
}

DWORD WINAPI parse_on_small_stack(void* path)
{
    const auto document = read_json(*static_cast<std::wstring*>(path));
    return document.HasParseError() ? 1 : document.IsArray() ? 2 : 0;
}

TEST(read_json, nesting_100000_deep_needs_no_more_than_a_64_kib_stack)
{
    scratch_folder scratch;
    const std::string open(100'000, '[');
    for (const auto& [text, expected] : {std::pair{open, 1ul}, {open + std::string(100'000, ']'), 2ul}})
    {
        auto path = scratch.write(L"deep.json", text).wstring();
        const HANDLE thread = CreateThread(nullptr, 64 * 1024, parse_on_small_stack, &path,
                                           STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        WaitForSingleObject(thread, INFINITE);
        DWORD result = 0;
        GetExitCodeThread(thread, &result);
        CloseHandle(thread);
        EXPECT_EQ(result, expected);
    }
}

TEST(read_json, ten_megabytes_take_less_than_twice_a_plain_in_memory_parse)
{
    std::string text = "[0";
    while (text.size() < 10'000'000)
    {
        text +=
            R"(, {"app_id": "app", "name": "N\u00e9 \u20ac", "settings": {"on": true, "n": -12345, "t": "x"}})";
    }
    text += "]";
    scratch_folder scratch;
    const auto path = scratch.write(L"big.json", text).wstring();
    auto fastest_of_three = [](auto&& run)
    {
        auto fastest = std::chrono::steady_clock::duration::max();
        for (int i = 0; i < 3; ++i)
        {
            const auto start = std::chrono::steady_clock::now();
            run();
            fastest = std::min(fastest, std::chrono::steady_clock::now() - start);
        }
        return std::chrono::duration<double>(fastest).count();
    };
    const double plain =
        fastest_of_three([&] { EXPECT_TRUE(rapidjson::Document().Parse(text.c_str()).IsArray()); });
    const double ours = fastest_of_three([&] { EXPECT_TRUE(read_json(path).IsArray()); });
    EXPECT_LT(ours, plain * 2.0) << "read_json " << ours << " s, plain parse " << plain << " s";
}
} // namespace
