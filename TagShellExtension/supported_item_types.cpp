#include "TagShellExtension/supported_item_types.h"
#include "common/windows_paths.h"

#include <initializer_list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace tag_extension
{
namespace
{
using extension_set = std::unordered_set<std::string_view>;

const extension_set& supported_extensions()
{
    static const extension_set set{
        ".arw",  ".asm",  ".aspx",        ".avi",  ".bat",  ".bmp",    ".c",    ".cmd",  ".config",
        ".cpp",  ".cs",   ".csv",         ".d64",  ".dll",  ".doc",    ".docx", ".gif",  ".gfie",
        ".h",    ".heic", ".hpp",         ".htm",  ".html", ".ico",    ".ini",  ".jpeg", ".jpg",
        ".json", ".jxl",  ".lnk",         ".log",  ".lnx",  ".master", ".md",   ".mov",  ".mp4",
        ".msi",  ".pdf",  ".pfx",         ".png",  ".prg",  ".ppt",    ".pptx", ".ps1",  ".rar",
        ".reg",  ".rtf",  ".sid",         ".sln",  ".svg",  ".tif",    ".tiff", ".tmp",  ".txt",
        ".url",  ".wav",  ".webmanifest", ".webp", ".wma",  ".xls",    ".xlsx", ".xml",  ".zip"};
    return set;
}

const extension_set& volume_exempt_extensions()
{
    static const extension_set set{".arw", ".heic", ".jpeg", ".jpg", ".jxl", ".mp4", ".tif", ".tiff", ".wma"};
    return set;
}

struct volume_cache
{
    std::mutex lock;
    std::unordered_map<std::wstring, DWORD> flags;
};

volume_cache& cache()
{
    static volume_cache instance;
    return instance;
}

} // namespace

bool is_supported_extension(std::string_view extension)
{
    return supported_extensions().contains(extension);
}

bool is_volume_exempt_extension(std::string_view extension)
{
    return volume_exempt_extensions().contains(extension);
}

bool volume_supports_extended_attributes(const std::wstring& path)
{
    const std::wstring root = common::volume_root(path);
    auto& volumes = cache();
    {
        std::lock_guard guard(volumes.lock);
        if (const auto found = volumes.flags.find(root); found != volumes.flags.end())
        {
            return (found->second & FILE_SUPPORTS_EXTENDED_ATTRIBUTES) != 0;
        }
    }

    // Asked outside the lock: a slow network volume must not block lookups of other roots.
    DWORD flags = 0;
    if (!volume_functions().get_volume_information(root.c_str(), nullptr, 0, nullptr, nullptr, &flags,
                                                   nullptr, 0))
    {
        flags = 0;
    }

    std::lock_guard guard(volumes.lock);
    volumes.flags[root] = flags;
    return (flags & FILE_SUPPORTS_EXTENDED_ATTRIBUTES) != 0;
}

volume_api& volume_functions()
{
    static volume_api functions;
    return functions;
}

void clear_volume_cache_for_testing()
{
    auto& volumes = cache();
    std::lock_guard guard(volumes.lock);
    volumes.flags.clear();
}
} // namespace tag_extension
