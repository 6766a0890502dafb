#pragma once

#include "common/unique_resources.h"

#include <windows.h>

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace common
{
enum class log_level : int
{
    debug = 0,
    info = 1,
    warning = 2,
    error = 3,
    critical = 4,
};

std::string_view level_name(log_level level) noexcept;

// Processes appending to one log file take turns by locking this byte, far past any real end.
inline constexpr std::uint64_t log_turn_offset = 0x7FFFFFFF'00000000;

// Appends finished lines to one file. Each line goes to the file in a single append
// write, so lines from several threads or processes never interleave.
class plain_text_logger
{
public:
    plain_text_logger() = default;
    ~plain_text_logger();
    plain_text_logger(const plain_text_logger&) = delete;
    plain_text_logger& operator=(const plain_text_logger&) = delete;

    // Opens once per process; a later call keeps the first file. Failure leaves the logger mute.
    void open(const std::wstring& path);
    void write(std::string_view line);
    void write(std::wstring_view line);

private:
    std::mutex lock_;
    bool opened_ = false; // a failed open leaves the logger mute, too
    unique_hfile file_;
};

std::shared_ptr<plain_text_logger>& shared_logger();

// "[2026-03-14 09:05:03.0412207] [P:12 T:34] [ERROR] " in local time.
std::string line_prefix(log_level level);

void write_line(log_level level, std::string_view message) noexcept;
void write_line(log_level level, std::wstring_view message) noexcept;

// Logging must never fail its caller: a formatting or memory failure drops the line.
template <typename... Args>
void log(log_level level, fmt::format_string<Args...> format, Args&&... args) noexcept
{
    try
    {
        write_line(level, fmt::format(format, std::forward<Args>(args)...));
    }
    catch (...)
    {
    }
}

template <typename... Args>
void log(log_level level, fmt::wformat_string<Args...> format, Args&&... args) noexcept
{
    try
    {
        write_line(level, fmt::format(format, std::forward<Args>(args)...));
    }
    catch (...)
    {
    }
}
} // namespace common
