#include "bench/figures.h"

#include "bench/inputs.h"
#include "bench/measuring.h"
#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/metadata/tag_reader.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "support/product_files.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"
#include "tools/explorer_driver/keyword_store.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <algorithm>
#include <map>

namespace tag_bench
{
using namespace tag_extension;

namespace
{
// The keywords of two files for the common-tags figure: `count` each, half of them shared,
// in mixed case and shuffled, with some repeated.
std::map<std::wstring, std::vector<std::wstring>> keyword_files;

HRESULT WINAPI open_listed_keywords(PCWSTR path, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID iid, void** result)
{
    const auto found = keyword_files.find(path);
    return found != keyword_files.end() ? explorer_driver::open_keyword_store(found->second, iid, result)
                                        : E_FAIL;
}

std::vector<std::wstring> keywords(int first, int count)
{
    std::vector<std::wstring> list;
    for (int i = 0; i < count; ++i)
    {
        const int k = first + (i * 7919) % count; // a fixed shuffle
        list.push_back(fmt::format(L"{}eyword {}", k % 3 == 0 ? L'K' : L'k', k % 10 == 1 ? k - 1 : k));
    }
    return list;
}
} // namespace

void cascade_figure(const state_bench& bench, int runs)
{
    auto cascade = [&] { open_cascade(bench.command.Get(), bench.selection.Get()); };
    const auto icons = open_cascade(bench.command.Get(), bench.selection.Get()); // generates the icons
    const auto generated =
        std::count_if(icons.begin(), icons.end(),
                      [](const std::wstring& icon) { return icon.ends_with(L"_generated-tagged.ico"); });
    figure timing;
    for (int run = 0; run < runs; ++run)
    {
        const double b = time_us(500, bench.get_state);
        timing.add(time_us(200, cascade), b);
    }
    report("3. Cascade, warm (9 tagged entries of 14, icons cached, 1 file)", timing, "GetState", 0);
    print_cost("one cascade", cost_of(cascade));
    fmt::print("    entries: {}, of which check-marked: {}\n\n", icons.size(), generated);
}

void first_opening_figure(const state_bench& bench, const test_support::scratch_folder& scratch,
                          test_support::settings_override& tags, int runs)
{
    const auto shipped = common::module_folder() / L"Content" / L"Icons" / L"tag_holiday.ico";
    std::string nine;
    for (int i = 1; i <= 9; ++i)
    {
        const auto icon =
            scratch.write(fmt::format(L"first opening {}.ico", i), test_support::read_file(shipped));
        nine += fmt::format(R"({}{{"name": "Tag {}", "icon_not_tagged": "{}"}})", i == 1 ? "" : ",", i,
                            common::to_utf8(icon.generic_wstring()));
    }
    tags.write(R"({"version": "1.0", "tags": [)" + nine + "]}");
    auto cascade = [&] { return open_cascade(bench.command.Get(), bench.selection.Get()); };
    std::vector<std::wstring> generated;
    for (const auto& icon : cascade())
    {
        if (icon.ends_with(L"_generated-tagged.ico"))
        {
            generated.push_back(icon);
        }
    }
    figure timing;
    for (int run = 0; run < runs; ++run)
    {
        for (const auto& icon : generated)
        {
            DeleteFileW(icon.c_str());
        }
        const double first = time_us(1, cascade);
        timing.add(first, time_us(20, cascade));
    }
    report("7. Cascade: first opening making 9 check-marked icons, against a warm one", timing, "warm", 0);
    fmt::print("    check-marked icons made per first opening: {}\n\n", generated.size());
    for (const auto& icon : generated)
    {
        DeleteFileW(icon.c_str());
    }
    tags.write(nine_tags_json());
}

bool many_tags_cascade_figure(const state_bench& bench, const test_support::settings_override& tags, int runs)
{
    std::string many = nine_tags_json();
    many.resize(many.size() - 2);
    for (int i = 10; i <= 100'000; ++i)
    {
        many +=
            fmt::format(R"(, {{"name": "Tag {}", "icon_not_tagged": "Content\\Icons\\tag_work.ico"}})", i);
    }
    many += "]}";
    std::size_t entries = 0;
    auto timed_with = [&](const std::string& text)
    {
        tags.write(text);
        entries = open_cascade(bench.command.Get(), bench.selection.Get()).size(); // parses the new file
        return time_us(200, [&] { open_cascade(bench.command.Get(), bench.selection.Get()); });
    };
    figure timing;
    for (int run = 0; run < runs; ++run)
    {
        const double b = timed_with(nine_tags_json());
        timing.add(timed_with(many), b);
    }
    const bool met = report("10. Cascade, warm, 100,000 tags defined against 9", timing, "9 tags", 1.5);
    fmt::print("    entries shown: {}\n\n", entries);
    tags.write(nine_tags_json());
    return met;
}

bool common_tags_figure(const test_support::scratch_folder& scratch, int runs)
{
    const std::vector<std::wstring> large{scratch.write(L"large a.jpg", "x").wstring(),
                                          scratch.write(L"large b.jpg", "x").wstring()};
    const std::vector<std::wstring> small{scratch.write(L"small a.jpg", "x").wstring(),
                                          scratch.write(L"small b.jpg", "x").wstring()};
    keyword_files = {{large[0], keywords(0, 50'000)},
                     {large[1], keywords(25'000, 50'000)},
                     {small[0], keywords(0, 500)},
                     {small[1], keywords(250, 500)}};
    test_support::scoped_seam listed(property_system_functions());
    listed->get_property_store_from_parsing_name = &open_listed_keywords;
    std::size_t common = 0;
    figure timing;
    for (int run = 0; run < std::max(3, runs / 3); ++run)
    {
        const double b = time_us(100, [&] { get_common_tags(small); });
        timing.add(time_us(1, [&] { common = get_common_tags(large).size(); }), b);
    }
    const bool met =
        report("11. Common tags of two files, 50,000 keywords each against 500", timing, "500", 300);
    fmt::print("    common tags of the large pair: {}\n\n", common);
    return met;
}
} // namespace tag_bench
