#include "bench/measuring.h"

#include "tools/explorer_driver/import_patch.h"

#include <fmt/format.h>

#include <windows.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>

std::size_t allocations_on_this_thread();

namespace
{
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

std::string us(const spread& s)
{
    return fmt::format("{:.2f} us [{:.2f} .. {:.2f}]", s.median, s.min, s.max);
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

// Points the executable's import slots of `function` at `replacement`; gives the previous target.
void* patch_import(const char* function, void* replacement)
{
    return explorer_driver::patch_import(GetModuleHandleW(nullptr), nullptr, function, replacement);
}
} // namespace

namespace tag_bench
{
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

double time_us(int calls, const std::function<void()>& body)
{
    const double start = now_us();
    for (int i = 0; i < calls; ++i)
    {
        body();
    }
    return (now_us() - start) / calls;
}

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
} // namespace tag_bench
