#include "common/logger.h"
#include "support/explorer_calls.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <process.h>
#include <regex>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

namespace
{
using fields = std::vector<std::string>;

// Process id, thread id, level and message of each line; a line without the prefix gives only itself.
std::vector<fields> lines_of(const std::filesystem::path& file)
{
    static const std::regex line(
        R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{7}\] \[P:(\d+) T:(\d+)\] \[([A-Z]+)\] (.*))");
    std::vector<fields> lines;
    std::istringstream in(test_support::read_file(file));
    for (std::string text; std::getline(in, text);)
    {
        std::smatch match;
        lines.push_back(std::regex_match(text, match, line) ? fields(match.begin() + 1, match.end())
                                                            : fields{text});
    }
    return lines;
}

// Starts this test executable appending lines to the file (see test_main.cpp).
HANDLE start_appender(const std::filesystem::path& file, int lines)
{
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), 32767));
    const std::wstring path = L"\"" + file.wstring() + L"\"", count = std::to_wstring(lines);
    const std::intptr_t child = _wspawnl(_P_NOWAIT, self.c_str(), L"child", L"--append-log-lines",
                                         path.c_str(), count.c_str(), nullptr);
    return child != -1 ? reinterpret_cast<HANDLE>(child) : nullptr;
}

TEST(
    logger,
    writes_whole_utf8_lines_with_time_ids_and_level_to_the_first_file_opened_and_the_process_to_its_dated_day_file)
{
    // The process's own log, opened at attach: the day's file under the local app data folder.
    SYSTEMTIME today{};
    GetLocalTime(&today);
    common::log(common::log_level::info, "{}", "a line for the day's file");
    EXPECT_NE(test_support::read_file(
                  std::filesystem::path(test_support::environment_variable(L"TAG_LOCAL_APP_DATA")) /
                  fmt::format(L"Quenbrook\\Lumora\\Sortwell\\Tag Context Menu\\Logs\\Tag Context Menu "
                              L"{:04}-{:02}-{:02}.log",
                              today.wYear, today.wMonth, today.wDay))
                  .find("a line for the day's file"),
              std::string::npos);

    test_support::scratch_folder scratch;
    const auto file = scratch / "a.log";
    const auto logger = std::make_shared<common::plain_text_logger>();
    logger->write(std::string_view("dropped: not open yet"));
    logger->open(file.wstring());
    logger->open((scratch / "other.log").wstring());
    const auto saved = std::exchange(common::shared_logger(), logger);
    common::log(common::log_level::error, L"path {}", L"C:\\\u00e9");
    common::log(static_cast<common::log_level>(7), "{}", "finished {text}");
    common::log(static_cast<common::log_level>(-1), L"{}", L"wide");
    common::shared_logger() = saved;
    logger->write(std::wstring_view(L"caf\u00e9 {not a placeholder}"));

    const std::string process = std::to_string(GetCurrentProcessId()),
                      thread = std::to_string(GetCurrentThreadId());
    EXPECT_EQ(lines_of(file), (std::vector<fields>{{process, thread, "ERROR", "path C:\\\xC3\xA9"},
                                                   {process, thread, "UNKNOWN", "finished {text}"},
                                                   {process, thread, "UNKNOWN", "wide"},
                                                   {"caf\xC3\xA9 {not a placeholder}"}}));
    EXPECT_EQ(std::ranges::count(test_support::read_file(file), '\n'), 4);
    EXPECT_FALSE(std::filesystem::exists(scratch / "other.log"));
}

TEST(logger, threads_and_processes_appending_to_one_file_never_break_lines)
{
    test_support::scratch_folder scratch;
    const auto file = scratch / "busy.log";
    constexpr int lines_per_writer = 300;
    const common::unique_handle child(start_appender(file, lines_per_writer));
    common::plain_text_logger logger;
    logger.open(file.wstring());
    const auto write = [&]
    {
        for (int i = 0; i < lines_per_writer; ++i)
        {
            logger.write(common::line_prefix(common::log_level::info) + std::string(200, 'x'));
        }
    };
    {
        const std::jthread threads[] = {std::jthread(write), std::jthread(write), std::jthread(write),
                                        std::jthread(write)};
    }
    ASSERT_EQ(WaitForSingleObject(child.get(), 60'000), WAIT_OBJECT_0);

    const auto lines = lines_of(file);
    EXPECT_EQ(lines.size(), 5u * lines_per_writer);
    for (const auto& line : lines)
    {
        ASSERT_EQ(line.size(), 4u) << line[0];
        ASSERT_EQ(line[3], std::string(200, 'x'));
    }
}

TEST(logger, a_writer_holding_the_turn_delays_a_line_only_briefly)
{
    test_support::scratch_folder scratch;
    const auto file = scratch / "held.log";
    // Another process's writer: the turn taken through another handle blocks just the same.
    const common::unique_hfile holder(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                  nullptr, OPEN_ALWAYS, 0, nullptr));
    OVERLAPPED turn{};
    turn.Offset = static_cast<DWORD>(common::log_turn_offset);
    turn.OffsetHigh = static_cast<DWORD>(common::log_turn_offset >> 32);
    ASSERT_TRUE(LockFileEx(holder.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn));
    common::plain_text_logger logger;
    logger.open(file.wstring());
    const auto start = std::chrono::steady_clock::now();
    logger.write(std::string_view("line"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(test_support::read_file(file), "line\n");
}
} // namespace
