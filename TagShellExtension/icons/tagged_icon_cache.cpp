#include "TagShellExtension/icons/tagged_icon_cache.h"

#include "TagShellExtension/icons/check_mark_compositor.h"
#include "TagShellExtension/icons/command_icons.h"
#include "TagShellExtension/icons/icon_source.h"
#include "TagShellExtension/icons/png_icon_file.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "common/logger.h"
#include "common/windows_paths.h"

#include <fmt/xchar.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>

namespace tag_extension
{
namespace
{
struct file_state
{
    bool exists = false;
    bool directory = false;
    ULONGLONG write_time = 0;
};

// Errors that only say "nothing there" count as absence, as the standard library's exists() does.
file_state query_file(const std::wstring& path, const char* operation)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
            error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME)
        {
            return {};
        }
        throw std::filesystem::filesystem_error(
            operation, path, std::error_code(static_cast<int>(error), std::system_category()));
    }
    ULARGE_INTEGER time{};
    time.LowPart = data.ftLastWriteTime.dwLowDateTime;
    time.HighPart = data.ftLastWriteTime.dwHighDateTime;
    return {true, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, time.QuadPart};
}

// 64-bit FNV-1a over the UTF-16LE bytes of the text.
std::uint64_t fnv1a_64(std::wstring_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const wchar_t unit : text)
    {
        const auto value = static_cast<std::uint16_t>(unit);
        hash = (hash ^ (value & 0xFFu)) * 0x100000001b3ULL;
        hash = (hash ^ (value >> 8)) * 0x100000001b3ULL;
    }
    return hash;
}

// "{stem}_{hash:016x}_generated-tagged.ico" for the source path exactly as given.
std::wstring tagged_icon_file_name(std::wstring_view source_icon)
{
    return fmt::format(L"{}_{:016x}_generated-tagged.ico", common::file_stem(source_icon),
                       fnv1a_64(source_icon));
}

std::mutex& generation_lock()
{
    static std::mutex lock;
    return lock;
}

// Cache file of each failed generation, with its source's write time then; under the generation lock.
std::map<std::wstring, ULONGLONG>& failed_generations()
{
    static std::map<std::wstring, ULONGLONG> failed;
    return failed;
}
constexpr size_t most_failures_kept = 256;

icon_source load_logged(const std::wstring& path)
{
    auto loaded = load_icon_source(path);
    if (!loaded.refusal.empty())
    {
        common::log(common::log_level::error, L"Tagged icon not made from {}: {}", path,
                    common::to_wide(loaded.refusal));
    }
    return loaded;
}

std::wstring generate(HMODULE module, const std::wstring& source_icon,
                      const std::filesystem::path* cache_folder)
{
    try
    {
        if (source_icon.empty())
        {
            return {};
        }
        const auto source = query_file(source_icon, "exists");
        if (!source.exists)
        {
            return {};
        }
        // The folder is made only when an icon is written: a cache hit costs two attribute queries.
        const auto folder =
            cache_folder != nullptr ? *cache_folder : common::product_folder_path() / L"Content";
        const std::wstring cache_path = (folder / tagged_icon_file_name(source_icon)).wstring();

        std::lock_guard guard(generation_lock());
        const auto cached = query_file(cache_path, "last_write_time");
        if (cached.exists && !cached.directory && cached.write_time >= source.write_time)
        {
            return cache_path;
        }
        // Counted as failed until it succeeds, so that a throw on the way counts too.
        auto& failed = failed_generations();
        const auto earlier = failed.find(cache_path);
        if (earlier != failed.end() && earlier->second == source.write_time)
        {
            return {};
        }
        if (failed.size() >= most_failures_kept)
        {
            failed.clear();
        }
        failed[cache_path] = source.write_time;
        common::ensure_folder(folder);
        {
            // Never left running between calls; the bitmaps go before it does.
            gdiplus_session gdiplus;
            const auto icon = load_logged(source_icon);
            const auto mark = icon.bitmap ? load_logged(check_mark_icon_path(module)) : icon_source{};
            if (!mark.bitmap || !draw_check_mark(icon.bitmap.get(), mark.bitmap.get()) ||
                !save_png_icon(icon.bitmap.get(), cache_path))
            {
                return {};
            }
        }
        failed.erase(cache_path);
        return cache_path;
    }
    catch (const std::exception& error)
    {
        common::log(common::log_level::error, "Failed to generate tagged icon. Details: {}", error.what());
    }
    catch (...)
    {
        common::log(common::log_level::error, L"Failed to generate tagged icon for {}", source_icon);
    }
    return {};
}
} // namespace

std::wstring generate_tagged_icon(HMODULE module, const std::wstring& source_icon)
{
    return generate(module, source_icon, nullptr);
}

std::wstring generate_tagged_icon(HMODULE module, const std::wstring& source_icon,
                                  const std::filesystem::path& cache_folder)
{
    return generate(module, source_icon, &cache_folder);
}
} // namespace tag_extension
