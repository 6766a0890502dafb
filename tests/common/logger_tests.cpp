#include "common/conversions.h"
#include "common/logger.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace
{
using test_support::read_file;
using test_support::scratch_folder;

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
    {
        lines.push_back(line);
    }
    return lines;
}

const std::regex prefix_pattern(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{7}\] \[P:\d+ T:\d+\] \[([A-Z]+)\] )");

TEST(logger, line_prefix_has_seven_fractional_digits_ids_and_level)
{
    const std::string prefix = common::line_prefix(common::log_level::error);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(prefix, match, prefix_pattern)) << prefix;
    EXPECT_EQ(match[1], "ERROR");
    EXPECT_NE(prefix.find("[P:" + std::to_string(GetCurrentProcessId()) + " T:" +
                          std::to_string(GetCurrentThreadId()) + "]"),
              std::string::npos);
    EXPECT_EQ(common::to_wide(prefix.substr(prefix.find("] [P:")).c_str()),
              common::line_prefix_wide(common::log_level::error).substr(prefix.find("] [P:")));
}

TEST(logger, level_names_and_unknown_values)
{
    EXPECT_EQ(common::level_name(common::log_level::debug), "DEBUG");
    EXPECT_EQ(common::level_name(common::log_level::warning), "WARNING");
    EXPECT_EQ(common::level_name(common::log_level::critical), "CRITICAL");
    EXPECT_EQ(common::level_name(static_cast<common::log_level>(7)), "UNKNOWN");
    EXPECT_EQ(common::level_name_wide(static_cast<common::log_level>(-1)), L"UNKNOWN");
}

TEST(logger, writes_lf_terminated_utf8_lines_and_keeps_braces_in_finished_text)
{
    scratch_folder scratch;
    const auto file = scratch / "a.log";
    common::plain_text_logger logger;
    logger.write(std::string_view("dropped: not open yet"));
    logger.open(file.wstring());
    logger.open((scratch / "other.log").wstring()); // the first file stays
    logger.write(std::wstring_view(L"caf\u00e9 {not a placeholder}"));
    logger.write(std::string_view("second"));
    EXPECT_EQ(read_file(file), "caf\xC3\xA9 {not a placeholder}\nsecond\n");
    EXPECT_FALSE(std::filesystem::exists(scratch / "other.log"));
}

TEST(logger, formats_narrow_and_wide_messages_through_the_shared_logger)
{
    scratch_folder scratch;
    const auto file = scratch / "shared.log";
    auto saved = common::shared_logger();
    common::shared_logger() = std::make_shared<common::plain_text_logger>();
    common::shared_logger()->open(file.wstring());
    common::log(common::log_level::info, "code {:X} for {}", 0x80070005u, "x");
    common::log(common::log_level::error, L"path {}", L"C:\\\u00e9");
    common::log(static_cast<common::log_level>(9), "{}", "finished {text}");
    common::shared_logger() = saved;

    const auto lines = lines_of(read_file(file));
    ASSERT_EQ(lines.size(), 3u);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(lines[0], match, prefix_pattern));
    EXPECT_EQ(match.suffix().str(), "code 80070005 for x");
    ASSERT_TRUE(std::regex_search(lines[1], match, prefix_pattern));
    EXPECT_EQ(match[1], "ERROR");
    EXPECT_EQ(match.suffix().str(), "path C:\\\xC3\xA9");
    ASSERT_TRUE(std::regex_search(lines[2], match, prefix_pattern));
    EXPECT_EQ(match[1], "UNKNOWN");
    EXPECT_EQ(match.suffix().str(), "finished {text}");
}

TEST(logger, threads_and_processes_appending_to_one_file_never_break_lines)
{
    scratch_folder scratch;
    const auto file = scratch / "busy.log";
    constexpr int lines_per_writer = 300;

    std::wstring command = L"\"" + std::wstring(32768, L'\0');
    command.resize(1 + GetModuleFileNameW(nullptr, command.data() + 1, 32767));
    command += L"\" --append-log-lines \"" + file.wstring() + L"\" " + std::to_wstring(lines_per_writer);
    std::vector<PROCESS_INFORMATION> children(2);
    for (auto& child : children)
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring line = command;
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &child));
    }
    common::plain_text_logger logger;
    logger.open(file.wstring());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back([&] {
            for (int i = 0; i < lines_per_writer; ++i)
            {
                logger.write(common::line_prefix(common::log_level::info) + std::string(200, 'x'));
            }
        });
    }
    for (auto& thread : threads)
    {
        thread.join();
    }
    for (auto& child : children)
    {
        WaitForSingleObject(child.hProcess, INFINITE);
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }

    const auto lines = lines_of(read_file(file));
    EXPECT_EQ(lines.size(), 6u * lines_per_writer);
    std::set<std::string> processes;
    for (const auto& line : lines)
    {
        std::smatch match;
        ASSERT_TRUE(std::regex_search(line, match, prefix_pattern)) << line;
        ASSERT_EQ(match.suffix().str(), std::string(200, 'x'));
        processes.insert(line.substr(line.find("[P:"), line.find(" T:") - line.find("[P:")));
    }
    EXPECT_EQ(processes.size(), 3u);
}
} // namespace
