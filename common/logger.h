#pragma once

#include <windows.h>

#include <fmt/format.h>
#include <fmt/xchar.h>

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
std::wstring_view level_name_wide(log_level level) noexcept;

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
    HANDLE file_ = nullptr; // null: never opened; INVALID_HANDLE_VALUE: open failed
};

std::shared_ptr<plain_text_logger>& shared_logger();

// "[2026-03-14 09:05:03.0412207] [P:12 T:34] [ERROR] " in local time.
std::string line_prefix(log_level level);
std::wstring line_prefix_wide(log_level level);

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
