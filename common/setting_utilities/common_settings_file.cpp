#include "common/setting_utilities/common_settings_file.h"

#include "common/folders.h"
#include "common/logger.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <system_error>

namespace common::setting_utilities
{
namespace
{
// Never a real last-write time, so a fresh object always parses.
constexpr std::uint64_t not_parsed = ~std::uint64_t{0};

std::uint64_t ticks(const FILETIME& time) noexcept
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Gives not_parsed when the attributes cannot be read.
std::uint64_t last_write_time(const std::wstring& path) noexcept
{
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
    {
        return not_parsed;
    }
    return ticks(attributes.ftLastWriteTime);
}

std::error_code win32_error(DWORD code) noexcept
{
    return {static_cast<int>(code), std::system_category()};
}

struct handle_closer
{
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using unique_handle = std::unique_ptr<void, handle_closer>;

// A read error ends the text where it happened, like the end of the file.
std::string read_bytes(const std::wstring& path)
{
    std::string bytes;
    const unique_handle file(CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
    {
        return bytes;
    }
    LARGE_INTEGER size{};
    // One byte more than the size, so that the read which finds the end needs no reallocation.
    size_t capacity = GetFileSizeEx(file.get(), &size) ? static_cast<size_t>(size.QuadPart) + 1 : 4096;
    size_t filled = 0;
    for (;;)
    {
        if (filled == capacity)
        {
            capacity *= 2;
        }
        bytes.resize(capacity);
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(capacity - filled, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + filled, wanted, &read, nullptr) || read == 0)
        {
            break;
        }
        filled += read;
    }
    bytes.resize(filled);
    return bytes;
}

bool has_high_or_zero_byte(std::uint64_t word) noexcept
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    return ((word | ((word - ones) & ~word)) & highs) != 0;
}

// Length of the longest prefix that is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF) and holds no NUL byte.
size_t usable_prefix_length(const std::string& text) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size)
    {
        // Settings files are almost all ASCII: skip it eight bytes at a time.
        std::uint64_t word = 0;
        while (i + 8 <= size && (std::memcpy(&word, bytes + i, 8), !has_high_or_zero_byte(word)))
        {
            i += 8;
        }
        if (i == size)
        {
            break;
        }
        const unsigned lead = bytes[i];
        if (lead == 0)
        {
            return i;
        }
        if (lead < 0x80)
        {
            ++i;
            continue;
        }
        size_t length = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
        {
            length = 2;
        }
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : low;
            high = lead == 0xED ? 0x9F : high;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            length = 4;
            low = lead == 0xF0 ? 0x90 : low;
            high = lead == 0xF4 ? 0x8F : high;
        }
        else
        {
            return i;
        }
        if (size - i < length || bytes[i + 1] < low || bytes[i + 1] > high)
        {
            return i;
        }
        for (size_t k = 2; k < length; ++k)
        {
            if ((bytes[i + k] & 0xC0) != 0x80)
            {
                return i;
            }
        }
        i += length;
    }
    return size;
}

std::string usable_text(const std::wstring& path)
{
    std::string text = read_bytes(path);
    text.resize(usable_prefix_length(text));
    return text;
}
} // namespace

std::filesystem::path settings_folder(const std::wstring& folder_name)
{
    return common::app_data_folder(folder_name, L"");
}

std::filesystem::path defaults_folder(HMODULE module)
{
    return common::module_folder(module) / L"Content" / L"Configurations";
}

rapidjson::Document read_json(const std::wstring& path)
{
    const std::string text = usable_text(path);
    rapidjson::Document document;
    // Iterative, so that deep nesting costs heap instead of the caller's (Explorer's) stack.
    document.Parse<rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag>(text.c_str());
    return document;
}

rapidjson::Document read_json_in_place(const std::wstring& path, std::string& text)
{
    text = usable_text(path);
    rapidjson::Document document;
    document.ParseInsitu<rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag>(text.data());
    return document;
}

common_settings_file::common_settings_file(const std::filesystem::path& folder,
                                           const std::filesystem::path& defaults_folder,
                                           const std::wstring& base_name)
    : file_path_((folder / (base_name + L".json")).wstring()),
      default_file_path_((defaults_folder / (base_name + L".json")).wstring()), parsed_write_time_(not_parsed)
{
}

bool common_settings_file::load(bool force)
{
    // Menus load on every opening: an unchanged file costs one attribute query and nothing else.
    if (!force)
    {
        const std::uint64_t write_time = last_write_time(file_path_);
        if (write_time != not_parsed && write_time == parsed_write_time_.load())
        {
            return true;
        }
    }
    try
    {
        provide_default();
        // Taken before reading, so a change made while parsing is picked up by the next load.
        const std::uint64_t write_time = last_write_time(file_path_);
        if (!parse())
        {
            return false;
        }
        parsed_write_time_.store(write_time);
        return true;
    }
    catch (const std::exception& error)
    {
        common::log(common::log_level::critical, "Unable to copy settings file. Details {}", error.what());
    }
    catch (...)
    {
    }
    return false;
}

void common_settings_file::provide_default() const
{
    if (GetFileAttributesW(file_path_.c_str()) != INVALID_FILE_ATTRIBUTES)
    {
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    {
        throw std::filesystem::filesystem_error("exists", file_path_, win32_error(error));
    }
    if (!CopyFileW(default_file_path_.c_str(), file_path_.c_str(), TRUE))
    {
        const DWORD copy_error = GetLastError();
        // Another thread or process provided it first: use theirs.
        if (copy_error == ERROR_FILE_EXISTS)
        {
            return;
        }
        throw std::filesystem::filesystem_error("copy_file", default_file_path_, file_path_,
                                                win32_error(copy_error));
    }
    common::log(common::log_level::info, L"Copied default settings from {} to {}", default_file_path_,
                file_path_);
}
} // namespace common::setting_utilities
