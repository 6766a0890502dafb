#pragma once

#include <windows.h>

#include <rapidjson/document.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

namespace common::setting_utilities
{
// product folder\folder_name\ , made when missing; throws std::filesystem::filesystem_error.
std::filesystem::path settings_folder(const std::wstring& folder_name);
// module folder\Content\Configurations: where a module ships the default copies of its settings.
std::filesystem::path defaults_folder(HMODULE module);

// Reads a whole file as UTF-8 JSON. The text ends at the first NUL byte or invalid UTF-8
// sequence; a missing or unreadable file reads as empty. Parse errors stay in the document.
rapidjson::Document read_json(const std::wstring& path);
// The same, parsed in place (no copy of each string): the document's strings point into
// `text`, which the caller keeps as long as it uses the document.
rapidjson::Document read_json_in_place(const std::wstring& path, std::string& text);

// One JSON settings file of the suite: provided from its default copy when the user has none,
// and parsed again only after its last-write time changed.
class common_settings_file
{
public:
    common_settings_file(const common_settings_file&) = delete;
    common_settings_file& operator=(const common_settings_file&) = delete;

    // Never throws; false when the file could neither be provided nor parsed.
    virtual bool load(bool force);
    virtual bool parse() = 0;
    virtual bool save() = 0;

    const std::wstring& file_path() const noexcept { return file_path_; }
    const std::wstring& default_file_path() const noexcept { return default_file_path_; }

protected:
    // The file is folder\base_name.json, its default defaults_folder\base_name.json.
    common_settings_file(const std::filesystem::path& folder, const std::filesystem::path& defaults_folder,
                         const std::wstring& base_name);
    // Objects are always destroyed as their exact class.
    ~common_settings_file() = default;

private:
    void provide_default() const;

    std::wstring file_path_;
    std::wstring default_file_path_;
    // Last-write time (FILETIME ticks) at the last successful parse, or a value no file has.
    std::atomic<std::uint64_t> parsed_write_time_;
};
} // namespace common::setting_utilities
