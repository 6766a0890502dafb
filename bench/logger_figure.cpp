#include "bench/figures.h"

#include "bench/inputs.h"
#include "bench/measuring.h"
#include "common/conversions.h"
#include "common/logger.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <tuple>

namespace tag_bench
{

namespace
{
const std::string log_payload(100, '.');

void log_lines(int thread, int count)
{
    for (int i = 0; i < count; ++i)
    {
        common::log(common::log_level::info, "bench thread {} line {} {}", thread, i, log_payload);
    }
}

// Every line whole and every (thread, line) present once; gives the problems found.
std::string check_log(const std::filesystem::path& path, int threads, int lines)
{
    const std::string text = test_support::read_file(path);
    std::vector<std::vector<int>> seen(static_cast<size_t>(threads),
                                       std::vector<int>(static_cast<size_t>(lines)));
    size_t start = 0;
    size_t bad = 0;
    size_t count = 0;
    while (start < text.size())
    {
        const size_t end = text.find('\n', start);
        const std::string_view line(text.data() + start,
                                    (end == std::string::npos ? text.size() : end) - start);
        start = end == std::string::npos ? text.size() : end + 1;
        ++count;
        int thread = -1;
        int number = -1;
        const size_t at = line.find("] [INFO] bench thread ");
        if (line.size() < 30 || line[0] != '[' || at == std::string_view::npos ||
            std::sscanf(std::string(line.substr(at + 22)).c_str(), "%d line %d", &thread, &number) != 2 ||
            thread < 0 || thread >= threads || number < 0 || number >= lines ||
            !line.ends_with(" " + log_payload) || end == std::string::npos)
        {
            ++bad;
            continue;
        }
        ++seen[static_cast<size_t>(thread)][static_cast<size_t>(number)];
    }
    size_t missing = 0;
    for (const auto& per_thread : seen)
    {
        missing += static_cast<size_t>(
            std::count_if(per_thread.begin(), per_thread.end(), [](int n) { return n != 1; }));
    }
    return bad == 0 && missing == 0 && count == static_cast<size_t>(threads * lines)
               ? std::string()
               : fmt::format("{} lines, {} malformed, {} missing or repeated", count, bad, missing);
}

double timed_log_run(const std::filesystem::path& path, int threads, int lines_per_thread)
{
    auto logger = std::make_shared<common::plain_text_logger>();
    logger->open(path.wstring());
    const auto saved = common::shared_logger();
    common::shared_logger() = logger;
    const double start = now_us();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
    {
        workers.emplace_back(log_lines, t, lines_per_thread);
    }
    for (auto& worker : workers)
    {
        worker.join();
    }
    const double elapsed = now_us() - start;
    common::shared_logger() = saved;
    return elapsed;
}
} // namespace

bool logger_figure(const test_support::scratch_folder& scratch, int runs)
{
    constexpr int threads = 8;
    constexpr int lines = 10'000;
    figure timing;
    std::string problems;
    const int log_runs = std::max(3, runs / 2);
    for (int run = 0; run < log_runs; ++run)
    {
        const auto single = scratch / fmt::format(L"single {}.log", run);
        const auto several = scratch / fmt::format(L"several {}.log", run);
        const double one = timed_log_run(single, 1, threads * lines);
        const double eight = timed_log_run(several, threads, lines);
        timing.add(eight / (threads * lines), one / (threads * lines));
        for (const auto& [file, writers, per_writer] :
             {std::tuple{single, 1, threads * lines}, std::tuple{several, threads, lines}})
        {
            const auto found = check_log(file, writers, per_writer);
            if (!found.empty() && problems.empty())
            {
                problems = fmt::format("{}: {}", common::to_utf8(file.filename().wstring()), found);
            }
        }
    }
    report("6. Logger: 8 threads x 10,000 lines, per line", timing, "1 thread", 0);
    fmt::print("    every line whole, each once ({} runs, {} files): {}\n\n", log_runs, 2 * log_runs,
               problems.empty() ? "yes" : problems);
    return problems.empty();
}
} // namespace tag_bench
