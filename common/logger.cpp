#include "common/logger.h"

#include "common/conversions.h"

namespace common
{
std::string_view level_name(log_level level) noexcept
{
    static constexpr std::string_view names[] = {"DEBUG", "INFO", "WARNING", "ERROR", "CRITICAL"};
    const auto index = static_cast<int>(level);
    return index >= 0 && index < 5 ? names[index] : "UNKNOWN";
}

namespace
{
// Another process may hold the turn for long (hung, or hostile): Explorer waits this long at
// most, then the line is written without the turn.
constexpr LONGLONG turn_wait_us = 5000;

bool take_turn(HANDLE file, OVERLAPPED& turn) noexcept
{
    LARGE_INTEGER frequency{}, start{}, now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (;;)
    {
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn))
        {
            return true;
        }
        QueryPerformanceCounter(&now);
        if (GetLastError() != ERROR_LOCK_VIOLATION ||
            (now.QuadPart - start.QuadPart) * 1'000'000 >= turn_wait_us * frequency.QuadPart)
        {
            return false;
        }
        // A writer holds the turn for one write: yielding is enough, and a sleep would cost
        // a whole timer tick.
        Sleep(0);
    }
}
} // namespace

plain_text_logger::~plain_text_logger()
{
    std::lock_guard guard(lock_);
    file_.reset();
}

void plain_text_logger::open(const std::wstring& path)
{
    std::lock_guard guard(lock_);
    if (opened_)
    {
        return;
    }
    opened_ = true;
    // Append-only writing: every write lands at the current end of the file, also when
    // another process appends to the same day's file. Read access only serves the turn.
    file_.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
}

void plain_text_logger::write(std::string_view line)
{
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line);
    text.push_back('\n');

    std::lock_guard guard(lock_);
    if (!file_)
    {
        return;
    }
    // Appends are not atomic between processes everywhere (Wine seeks, then writes), so
    // processes sharing the day's file take turns.
    OVERLAPPED turn{};
    turn.Offset = static_cast<DWORD>(log_turn_offset);
    turn.OffsetHigh = static_cast<DWORD>(log_turn_offset >> 32);
    const bool turn_taken = take_turn(file_.get(), turn);
    DWORD written = 0;
    WriteFile(file_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (turn_taken)
    {
        UnlockFileEx(file_.get(), 0, 1, 0, &turn);
    }
}

void plain_text_logger::write(std::wstring_view line)
{
    write(std::string_view(to_utf8(line)));
}

std::shared_ptr<plain_text_logger>& shared_logger()
{
    static std::shared_ptr<plain_text_logger> logger = std::make_shared<plain_text_logger>();
    return logger;
}

namespace
{
struct local_time
{
    SYSTEMTIME time{};
    unsigned fraction = 0; // 100-nanosecond units within the second
};

local_time now()
{
    FILETIME file_time{};
    GetSystemTimePreciseAsFileTime(&file_time);
    ULARGE_INTEGER ticks{};
    ticks.LowPart = file_time.dwLowDateTime;
    ticks.HighPart = file_time.dwHighDateTime;

    local_time result;
    result.fraction = static_cast<unsigned>(ticks.QuadPart % 10'000'000ULL);
    SYSTEMTIME utc{};
    FileTimeToSystemTime(&file_time, &utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &result.time))
    {
        result.time = utc;
    }
    return result;
}
} // namespace

std::string line_prefix(log_level level)
{
    const auto [t, fraction] = now();
    return fmt::format("[{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:07}] [P:{} T:{}] [{}] ", t.wYear, t.wMonth,
                       t.wDay, t.wHour, t.wMinute, t.wSecond, fraction, GetCurrentProcessId(),
                       GetCurrentThreadId(), level_name(level));
}

namespace
{
template <typename Char>
void write_prefixed_line(log_level level, std::basic_string_view<Char> message) noexcept
{
    try
    {
        // The prefix is ASCII, so widening it byte by byte gives the same text.
        const std::string prefix = line_prefix(level);
        std::basic_string<Char> line(prefix.begin(), prefix.end());
        line.append(message);
        if (auto& logger = shared_logger())
        {
            logger->write(std::basic_string_view<Char>(line));
        }
    }
    catch (...)
    {
    }
}
} // namespace

void write_line(log_level level, std::string_view message) noexcept
{
    write_prefixed_line(level, message);
}

void write_line(log_level level, std::wstring_view message) noexcept
{
    write_prefixed_line(level, message);
}
} // namespace common
