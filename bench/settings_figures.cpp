#include "bench/figures.h"

#include "bench/inputs.h"
#include "bench/measuring.h"
#include "all_tags_settings/settings_file.h"
#include "common/conversions.h"
#include "high_level_settings/settings_file.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>
#include <rapidjson/document.h>

#include <algorithm>

namespace tag_bench
{

bool get_state_figure(const state_bench& bench, const std::wstring& settings_path, const std::wstring& item,
                      int runs)
{
    auto floor = [&]
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExW(settings_path.c_str(), GetFileExInfoStandard, &data);
        GetFileAttributesW(item.c_str());
    };
    bench.get_state();
    figure timing;
    for (int run = 0; run < runs; ++run)
    {
        const double b = time_us(2000, floor);
        timing.add(time_us(2000, bench.get_state), b);
    }
    const bool met = report("1. GetState, warm (settings unchanged, volume cached)", timing, "floor", 1.5);
    print_cost("one GetState", cost_of(bench.get_state));
    EXPCMDSTATE state = ECS_HIDDEN;
    bench.command->GetState(bench.selection.Get(), FALSE, &state);
    fmt::print("    state: {}\n\n", state == ECS_ENABLED ? "shown" : "HIDDEN (unexpected)");
    return met;
}

bool load_unchanged_figure(const test_support::scratch_folder& scratch, int runs)
{
    high_level_settings::settings_file suite_file(scratch.path(), scratch.path());
    all_tags_settings::settings_file tags_file(scratch.path(), scratch.path());
    scratch.write(L"High Level Settings.json", test_support::suite_settings_json("{}"));
    scratch.write(L"All Tags.json", nine_tags_json());
    suite_file.load(false);
    tags_file.load(false);
    const std::wstring path = suite_file.file_path();
    auto one_query = [&]
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    };
    figure timing;
    for (int run = 0; run < runs; ++run)
    {
        const double b = time_us(5000, one_query);
        timing.add(time_us(5000, [&] { suite_file.load(false); }), b);
    }
    report("2. load(false), file unchanged", timing, "1 query", 0);
    const auto suite_cost = cost_of([&] { suite_file.load(false); });
    const auto tags_cost = cost_of([&] { tags_file.load(false); });
    print_cost("suite settings load(false)", suite_cost);
    print_cost("tag definitions load(false)", tags_cost);
    const bool met = suite_cost.allocations == 0 && tags_cost.allocations == 0 &&
                     suite_cost.attribute_queries == 1 && tags_cost.attribute_queries == 1 &&
                     suite_cost.file_opens == 0 && tags_cost.file_opens == 0;
    fmt::print("    target: 1 attribute query, 0 allocations: {}\n\n", met ? "met" : "MISSED");
    return met;
}

bool reload_figure(const test_support::scratch_folder& scratch, int runs)
{
    const std::string text = big_suite_settings(1 << 20);
    const auto path = scratch.write(L"High Level Settings.json", text);
    high_level_settings::settings_file suite_file(scratch.path(), scratch.path());
    std::uint64_t stamp = 133'000'000'000'000'000ULL;
    auto touch = [&]
    {
        stamp += 10'000'000; // a second later each time: every file system keeps that apart
        set_write_time(path, stamp);
    };
    auto reread = [&]
    {
        touch();
        const double start = now_us();
        suite_file.load(false);
        return now_us() - start;
    };
    auto parse = [&]
    {
        rapidjson::Document document;
        document.Parse(text.c_str());
    };
    reread();
    figure timing;
    for (int run = 0; run < runs; ++run)
    {
        const double b = time_us(10, parse);
        double total = 0;
        for (int i = 0; i < 10; ++i)
        {
            total += reread();
        }
        timing.add(total / 10, b);
    }
    const bool met = report("4. Re-read of a 1 MiB suite settings file after a change", timing, "parse", 1.5);
    touch();
    print_cost("one re-read", cost_of([&] { suite_file.load(false); }));
    fmt::print("    file: {} bytes; owning app hot key read back: {}\n\n", text.size(),
               common::to_utf8(suite_file.get_string("sortwell", "hotkeys.tagKey", L"(missing)")));
    return met;
}

bool big_settings_state_figure(const state_bench& bench, const test_support::settings_override& suite,
                               int runs)
{
    const std::string big = default_suite_settings(2'000'000);
    const std::string usual = default_suite_settings(0);
    auto timed_with = [&](const std::string& text)
    {
        suite.write(text);
        bench.get_state(); // parses the new file
        return time_us(2000, bench.get_state);
    };
    figure timing;
    for (int run = 0; run < std::max(3, runs / 3); ++run)
    {
        const double b = timed_with(usual);
        timing.add(timed_with(big), b);
    }
    const bool met =
        report("9. GetState, 2,000,000 settings members against the default file", timing, "default", 1.5);
    EXPCMDSTATE state = ECS_HIDDEN;
    bench.command->GetState(bench.selection.Get(), FALSE, &state);
    fmt::print("    file: {} MB; state: {}\n\n", big.size() >> 20, state == ECS_ENABLED ? "shown" : "HIDDEN");
    suite.write(test_support::suite_settings_json(R"({"general": {"showTagContextMenu": true}})"));
    return met && state == ECS_ENABLED;
}
} // namespace tag_bench
