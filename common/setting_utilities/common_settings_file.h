#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace common::setting_utilities
{
// product folder\folder_name\ , made when missing; throws std::filesystem::filesystem_error.
std::filesystem::path settings_folder(const std::wstring& folder_name);
// module folder\Content\Configurations: where a module ships the default copies of its settings.
std::filesystem::path defaults_folder(HMODULE module);

// What tells one version of a file from another without reading it.
struct file_stamp
{
    std::uint64_t write_time = 0; // FILETIME ticks
    std::uint64_t size = 0;
    bool operator==(const file_stamp&) const = default;
};

// One JSON settings file of the suite: provided from its default copy when the user has none,
// and parsed again only after its last-write time or size changed.
class common_settings_file
{
public:
    common_settings_file(const common_settings_file&) = delete;
    common_settings_file& operator=(const common_settings_file&) = delete;

    // Never throws; false when the file could neither be provided nor parsed.
    virtual bool load(bool force);
    // `text` holds the file's bytes (none when it could not be read); it may be parsed in place.
    virtual bool parse(std::string& text) = 0;
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
    // The file as it was read for the last successful parse; none before it, or after a
    // parse of a file that could not be read whole.
    mutable std::mutex parsed_lock_;
    std::optional<file_stamp> parsed_;
};
} // namespace common::setting_utilities
