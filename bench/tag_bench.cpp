// Speed of the extension where Explorer waits for it. Each figure is the median (with min
// and max) over repeated runs, each run timing the subject and its baseline back to back.
#include "TagShellExtension/com_module.h"
#include "TagShellExtension/icons/gdiplus_bitmap.h"
#include "TagShellExtension/icons/png_icon_file.h"
#include "TagShellExtension/icons/tagged_icon_cache.h"
#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/metadata/tag_reader.h"
#include "TagShellExtension/supported_item_types.h"
#include "TagShellExtension/process_attach.h"
#include "all_tags_settings/settings_file.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "common/logger.h"
#include "high_level_settings/settings_file.h"
#include "support/keyword_store.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>
#include <rapidjson/document.h>

#include <objbase.h>
#include <shlwapi.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <thread>
#include <tuple>
#include <vector>

std::size_t allocations_on_this_thread();

namespace
{
using Microsoft::WRL::ComPtr;
using namespace tag_extension;

// ---- timing

double now_us()
{
    static const double ticks_per_us = []
    {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1e6;
    }();
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticks_per_us;
}

// Mean time of one call over a batch.
double time_us(int calls, const std::function<void()>& body)
{
    const double start = now_us();
    for (int i = 0; i < calls; ++i)
    {
        body();
    }
    return (now_us() - start) / calls;
}

struct spread
{
    double median = 0;
    double min = 0;
    double max = 0;
};

spread spread_of(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

struct figure
{
    std::vector<double> subject;
    std::vector<double> baseline;
    std::vector<double> ratio;

    void add(double s, double b)
    {
        subject.push_back(s);
        baseline.push_back(b);
        ratio.push_back(s / b);
    }
};

std::string us(const spread& s)
{
    return fmt::format("{:.2f} us [{:.2f} .. {:.2f}]", s.median, s.min, s.max);
}

// Returns whether the target (an upper bound on the median ratio) was met.
bool report(const char* name, const figure& f, const char* baseline_name, double target)
{
    const auto ratio = spread_of(f.ratio);
    fmt::print("{}\n    subject  {}\n    {:<8} {}\n    ratio    {:.3f} [{:.3f} .. {:.3f}]", name,
               us(spread_of(f.subject)), baseline_name, us(spread_of(f.baseline)), ratio.median, ratio.min,
               ratio.max);
    if (target > 0)
    {
        fmt::print("   target <= {:.2f}: {}", target, ratio.median <= target ? "met" : "MISSED");
    }
    fmt::print("\n");
    return target <= 0 || ratio.median <= target;
}

// ---- counting the file-system calls of the code under test, through the executable's imports

std::atomic<long> attribute_queries{0};
std::atomic<long> file_opens{0};
// Taken from the import slots when patching: &GetFileAttributesW may name the import stub,
// which jumps through the patched slot.
decltype(&GetFileAttributesExW) real_attributes_ex = nullptr;
decltype(&GetFileAttributesW) real_attributes = nullptr;
decltype(&CreateFileW) real_create_file = nullptr;
// How std::filesystem asks (exists, is_directory) in this runtime.
using stat_function = int(__cdecl*)(const wchar_t*, struct _stat64*);
stat_function real_stat = nullptr;

BOOL WINAPI counted_attributes_ex(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID data)
{
    ++attribute_queries;
    return real_attributes_ex(path, level, data);
}

DWORD WINAPI counted_attributes(LPCWSTR path)
{
    ++attribute_queries;
    return real_attributes(path);
}

int __cdecl counted_stat(const wchar_t* path, struct _stat64* status)
{
    ++attribute_queries;
    return real_stat(path, status);
}

HANDLE WINAPI counted_create_file(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE model)
{
    ++file_opens;
    return real_create_file(path, access, share, security, disposition, flags, model);
}

// Points the import slot of `function` at `replacement`; gives the previous target.
void* patch_import(const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library)
    {
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (library->OriginalFirstThunk != 0 ? library->OriginalFirstThunk : library->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                    function) != 0)
            {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

// File-system calls and allocations of one call of `body`, on this thread.
struct call_cost
{
    long attribute_queries = 0;
    long file_opens = 0;
    std::size_t allocations = 0;
};

call_cost cost_of(const std::function<void()>& body)
{
    real_attributes_ex = reinterpret_cast<decltype(real_attributes_ex)>(
        patch_import("GetFileAttributesExW", reinterpret_cast<void*>(&counted_attributes_ex)));
    real_attributes = reinterpret_cast<decltype(real_attributes)>(
        patch_import("GetFileAttributesW", reinterpret_cast<void*>(&counted_attributes)));
    real_create_file = reinterpret_cast<decltype(real_create_file)>(
        patch_import("CreateFileW", reinterpret_cast<void*>(&counted_create_file)));
    real_stat =
        reinterpret_cast<stat_function>(patch_import("_wstat64", reinterpret_cast<void*>(&counted_stat)));
    attribute_queries = 0;
    file_opens = 0;
    const std::size_t before = allocations_on_this_thread();
    body();
    call_cost cost{attribute_queries.load(), file_opens.load(), allocations_on_this_thread() - before};
    patch_import("GetFileAttributesExW", reinterpret_cast<void*>(real_attributes_ex));
    patch_import("GetFileAttributesW", reinterpret_cast<void*>(real_attributes));
    patch_import("CreateFileW", reinterpret_cast<void*>(real_create_file));
    patch_import("_wstat64", reinterpret_cast<void*>(real_stat));
    return cost;
}

void print_cost(const char* what, const call_cost& cost)
{
    fmt::print("    {}: {} attribute queries, {} file opens, {} allocations\n", what, cost.attribute_queries,
               cost.file_opens, cost.allocations);
}

// ---- the extension's surroundings

// Wine never reports extended-attribute support; report it, so the command is shown.
BOOL WINAPI volume_with_extended_attributes(LPCWSTR, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR,
                                            DWORD)
{
    *flags = FILE_SUPPORTS_EXTENDED_ATTRIBUTES;
    return TRUE;
}

// Wine has no property store for files: this one says every file carries the nine tags.
HRESULT WINAPI open_keyword_store(PCWSTR, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID iid, void** result)
{
    static const std::vector<std::wstring> tags{L"Tag 1", L"Tag 2", L"Tag 3", L"Tag 4", L"Tag 5",
                                                L"Tag 6", L"Tag 7", L"Tag 8", L"Tag 9"};
    return test_support::open_keyword_store(tags, iid, result);
}

ComPtr<IExplorerCommand> create_command()
{
    ComPtr<IClassFactory> factory;
    ComPtr<IExplorerCommand> command;
    if (SUCCEEDED(get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory))))
    {
        factory->CreateInstance(nullptr, IID_PPV_ARGS(&command));
    }
    return command;
}

// What Explorer does when the cascade opens; gives the icons handed out.
std::vector<std::wstring> open_cascade(IExplorerCommand* command, IShellItemArray* items)
{
    std::vector<std::wstring> icons;
    ComPtr<IEnumExplorerCommand> entries;
    if (FAILED(command->EnumSubCommands(&entries)) || !entries)
    {
        return icons;
    }
    ComPtr<IExplorerCommand> entry;
    while (entries->Next(1, &entry, nullptr) == S_OK)
    {
        PWSTR text = nullptr;
        entry->GetTitle(items, &text);
        CoTaskMemFree(text);
        text = nullptr;
        entry->GetIcon(items, &text);
        icons.emplace_back(text != nullptr ? text : L"");
        CoTaskMemFree(text);
        entry.Reset();
    }
    return icons;
}

std::string nine_tags_json()
{
    static const char* icons[] = {"tag_family",    "tag_favorites", "tag_holiday",
                                  "tag_important", "tag_to_review", "tag_work",
                                  "tag_family",    "tag_holiday",   "tag_work"};
    std::string tags;
    for (int i = 0; i < 9; ++i)
    {
        tags += fmt::format(R"({}{{"name": "Tag {}", "icon_not_tagged": "Content\\Icons\\{}.ico"}})",
                            i == 0 ? "" : ",", i + 1, icons[i]);
    }
    return R"({"version": "1.0", "tags": [)" + tags + "]}";
}

// A suite settings file of about `size` bytes: the two apps this extension reads and many
// more apps with settings of every kind the suite keeps (groups, flags, numbers, paths, lists).
std::string big_suite_settings(size_t size)
{
    std::string text = R"({"version": "2.4", "apps": [)";
    text +=
        R"({"app_id": "sortwell", "name": "Sortwell", "version": "2.4.1", "status": "enabled", "settings": )"
        R"({"general": {"showTagContextMenu": true, "enableTagHotkeys": true}, "hotkeys": {"tagKey": "Ctrl+T"}}},)";
    text += R"({"app_id": "brightloom", "name": "Brightloom", "status": "enabled", "settings": {}})";
    for (int app = 0; text.size() < size; ++app)
    {
        std::string recent;
        for (int i = 0; i < 12; ++i)
        {
            recent += fmt::format(R"({}"C:\\Users\\someone\\Pictures\\{}\\Holiday {:03}\\IMG_{:05}.jpg")",
                                  i == 0 ? "" : ", ", 2010 + i, app % 1000, app * 12 + i);
        }
        text += fmt::format(
            R"(, {{"app_id": "app_{:05}", "name": "Application {}", "version": "3.{}.0", "status": "{}", )"
            R"("settings": {{"general": {{"enabled": true, "theme": "dark", "language": "en-US", "maxItems": {}, )"
            R"("zoom": 1.25, "startMinimized": false}}, "window": {{"left": {}, "top": {}, "width": 1280, )"
            R"("height": 720, "maximized": false}}, "paths": {{"lastFolder": "D:\\Archive\\{}", )"
            R"("exportFolder": "E:\\Exports\\App {}"}}, "recentFiles": [{}], "lastRun": "2026-03-14T09:05:03Z", )"
            R"("runCount": {}, "telemetry": null}}}})",
            app, app, app % 10, app % 7 == 0 ? "disabled" : "enabled", 100 + app, app, app * 2, app, app,
            recent, app * 3);
    }
    return text + "]}";
}

void set_write_time(const std::filesystem::path& path, std::uint64_t ticks)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

// ---- the logger

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
// GetState of one command on one file, the code most often run in Explorer's threads.
struct state_bench
{
    ComPtr<IExplorerCommand> command;
    ComPtr<IShellItemArray> selection;
    std::function<void()> get_state;
};

// 1. GetState on a warm process against the two attribute queries it cannot avoid.
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

// 2. load(false) of an unchanged settings file: one attribute query, no allocation.
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

// 3. Opening the cascade warm, against GetState.
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

// 4. Re-reading a 1 MiB suite settings file after a change, against parsing its bytes.
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

// 5. A cached tagged icon against a fresh generation.
bool tagged_icon_figure(const test_support::scratch_folder& scratch, int runs)
{
    const auto shipped = common::module_folder() / L"Content" / L"Icons" / L"tag_work.ico";
    const std::wstring source = scratch.write(L"bench icon.ico", test_support::read_file(shipped)).wstring();
    const HMODULE module = common::module_handle();
    const std::wstring cached = generate_tagged_icon(module, source);
    auto hit = [&] { generate_tagged_icon(module, source); };
    auto fresh = [&]
    {
        DeleteFileW(cached.c_str());
        const double start = now_us();
        generate_tagged_icon(module, source);
        return now_us() - start;
    };
    figure timing;
    for (int run = 0; run < runs; ++run)
    {
        double total = 0;
        for (int i = 0; i < 5; ++i)
        {
            total += fresh();
        }
        timing.add(time_us(500, hit), total / 5);
    }
    const bool met = report("5. Tagged icon: cache hit against fresh generation", timing, "fresh", 0.05);
    print_cost("one cache hit", cost_of(hit));
    fmt::print("    cache file: {}\n\n", cached.empty() ? "NONE (unexpected)" : "made");
    DeleteFileW(cached.c_str());
    return met && !cached.empty();
}

// 7. The first opening with nine check-marked icons to make (none cached, as after the
// extension is installed or its icons change), against a warm opening.
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

// An icon file with one PNG image of the given size, drawn as a smooth gradient.
std::filesystem::path gradient_icon(const test_support::scratch_folder& scratch, int side)
{
    const auto path = scratch / fmt::format(L"gradient {}.ico", side);
    const gdiplus_session gdiplus;
    const auto bitmap = blank_bitmap(side, side);
    Gdiplus::GpRect area(0, 0, side, side);
    Gdiplus::BitmapData data{};
    Gdiplus::DllExports::GdipBitmapLockBits(bitmap.get(), &area, Gdiplus::ImageLockModeWrite,
                                            PixelFormat32bppARGB, &data);
    for (int y = 0; y < side; ++y)
    {
        auto* row =
            reinterpret_cast<UINT*>(static_cast<BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride);
        for (int x = 0; x < side; ++x)
        {
            row[x] = 0xFF000000u | (static_cast<UINT>(x * 255 / side) << 16) |
                     (static_cast<UINT>(y * 255 / side) << 8);
        }
    }
    Gdiplus::DllExports::GdipBitmapUnlockBits(bitmap.get(), &data);
    save_png_icon(bitmap.get(), path.wstring());
    return path;
}

// 8. The costliest tag icon still decoded (4096 x 4096 pixels) against a 48 px one, made fresh.
void largest_icon_figure(const test_support::scratch_folder& scratch, int runs)
{
    const auto largest = gradient_icon(scratch, 4096);
    const auto small = gradient_icon(scratch, 48);
    const auto cache = scratch / L"largest icon cache";
    const HMODULE module = common::module_handle();
    auto fresh = [&](const std::filesystem::path& source)
    {
        std::filesystem::remove_all(cache);
        const double start = now_us();
        generate_tagged_icon(module, source.wstring(), cache);
        return now_us() - start;
    };
    figure timing;
    for (int run = 0; run < std::max(3, runs / 2); ++run)
    {
        timing.add(fresh(largest), fresh(small));
    }
    const auto largest_made = generate_tagged_icon(module, largest.wstring(), cache);
    report("8. Tagged icon made from a 4096 x 4096 source, against a 48 px one", timing, "48 px", 0);
    fmt::print("    source: {} bytes; icon made: {} bytes\n\n", std::filesystem::file_size(largest),
               largest_made.empty() ? 0 : std::filesystem::file_size(largest_made));
}

// 6. The logger: eight threads against one writing the same number of lines; every line whole.
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
// ---- oversized inputs: each against the same work on an input of everyday size

// The shipped default suite settings, with `extra` settings members added to the owning app.
std::string default_suite_settings(int extra)
{
    std::string text = test_support::read_file(common::module_folder() / L"Content" / L"Configurations" /
                                               L"High Level Settings.json");
    if (extra == 0)
    {
        return text;
    }
    std::string members;
    members.reserve(static_cast<size_t>(extra) * 32);
    for (int i = 0; i < extra; ++i)
    {
        // Flags, numbers, texts and groups, as a long-lived settings object gathers them.
        switch (i % 4)
        {
        case 0:
            members += fmt::format(R"("flag{}": true, )", i);
            break;
        case 1:
            members += fmt::format(R"("count{}": {}, )", i, i);
            break;
        case 2:
            members += fmt::format(R"("path{}": "D:\\Archive\\{}", )", i, i);
            break;
        default:
            members += fmt::format(R"("group{}": {{"on": false}}, )", i);
            break;
        }
    }
    const std::string anchor = R"("settings": {)";
    text.insert(text.find(anchor) + anchor.size(), members);
    return text;
}

// 9. GetState with 2,000,000 settings in the suite file, against the shipped default file.
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

// 10. Opening the cascade with 100,000 tags defined, against the nine it shows.
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

// The keywords of two files for the common-tags figure: `count` each, half of them shared,
// in mixed case and shuffled, with some repeated.
std::map<std::wstring, std::vector<std::wstring>> keyword_files;

HRESULT WINAPI open_listed_keywords(PCWSTR path, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID iid, void** result)
{
    const auto found = keyword_files.find(path);
    return found != keyword_files.end() ? test_support::open_keyword_store(found->second, iid, result)
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

// 11. Common tags of two files with 50,000 keywords each, against 500 each.
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
} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 11;
    // Settings, logs and icon caches of a run go to a scratch folder, never the user's own.
    const test_support::scratch_user_folders user_folders;
    tag_extension::process_attach(GetModuleHandleW(nullptr));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool all_met = true;
    {
        test_support::scratch_folder scratch;
        test_support::settings_override suite(test_support::suite_settings_name);
        test_support::settings_override tags(test_support::tag_definitions_name);
        suite.write(test_support::suite_settings_json(R"({"general": {"showTagContextMenu": true}})"));
        tags.write(nine_tags_json());
        const test_support::scoped_seam<volume_api> volume(volume_functions(),
                                                           {&volume_with_extended_attributes});
        clear_volume_cache_for_testing();
        test_support::scoped_seam property_system(property_system_functions());
        property_system->get_property_store_from_parsing_name = &open_keyword_store;
        fmt::print(
            "tag_bench: {} runs per figure; times are per call. Where Wine cannot serve the extension,\n"
            "the volume reports extended attributes and the property store says the file carries\n"
            "all nine tags (the seams the tests use).\n\n",
            runs);

        const std::wstring photo = scratch.write(L"Holiday photo.png", "not really a png").wstring();
        state_bench bench{create_command(), test_support::make_items({photo}), {}};
        bench.get_state = [&]
        {
            EXPCMDSTATE state = ECS_HIDDEN;
            bench.command->GetState(bench.selection.Get(), FALSE, &state);
        };
        all_met &= get_state_figure(bench, suite.path().wstring(), photo, runs);
        all_met &= load_unchanged_figure(scratch, runs);
        cascade_figure(bench, runs);
        all_met &= reload_figure(scratch, runs);
        all_met &= tagged_icon_figure(scratch, runs);
        all_met &= logger_figure(scratch, runs);
        first_opening_figure(bench, scratch, tags, runs);
        largest_icon_figure(scratch, runs);
        all_met &= big_settings_state_figure(bench, suite, runs);
        all_met &= many_tags_cascade_figure(bench, tags, runs);
        all_met &= common_tags_figure(scratch, runs);
    }
    CoUninitialize();
    fmt::print("{}\n", all_met ? "All targets met." : "Some targets MISSED.");
    return all_met ? 0 : 1;
}
