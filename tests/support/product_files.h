#pragma once

#include "common/folders.h"
#include "support/explorer_calls.h"
#include "support/scratch_folder.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace test_support
{
// The per-user data folder and the temporary folder of a test run, in one scratch folder removed
// at the end: for this process, the DLL it loads and the programs it starts. Objects that already
// found their folder (settings files, the log file) keep it.
struct scratch_user_folders
{
    scratch_folder root;
    environment_override local_app_data{common::local_app_data_variable, (root / L"Local").wstring()};
    environment_override tmp{L"TMP", (root / L"Temp").wstring()};
    environment_override temp{L"TEMP", (root / L"Temp").wstring()};
    const bool made = std::filesystem::create_directories(root / L"Temp");
};

// Replaces one of the product's settings files for the life of the object and puts the
// previous content back afterwards. Each write gets a later write time, so every reader
// in any process sees a change.
class settings_override
{
public:
    explicit settings_override(std::wstring_view file_name);
    ~settings_override();
    settings_override(const settings_override&) = delete;
    settings_override& operator=(const settings_override&) = delete;

    void write(std::string_view content) const;
    void remove() const;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::optional<std::string> previous_; // none when the file did not exist
};

inline constexpr std::wstring_view suite_settings_name = L"High Level Settings.json";
inline constexpr std::wstring_view tag_definitions_name = L"All Tags.json";

// A suite settings file with the owning application's "settings" object as given.
std::string suite_settings_json(std::string_view sortwell_settings, std::string_view status = "enabled",
                                std::string_view people_settings = "{}");

// Lines the day's log file gained since the mark was taken.
class log_mark
{
public:
    log_mark();
    std::string new_text() const;

private:
    std::uintmax_t size_ = 0;
};
} // namespace test_support
