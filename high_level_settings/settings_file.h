#pragma once

#include "common/setting_utilities/common_settings_file.h"
#include "high_level_settings/app_table.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace high_level_settings
{
inline constexpr const char* owning_app_id = "sortwell";
inline constexpr const char* people_app_id = "brightloom";

enum class app_status
{
    enabled,
    disabled,
    settings_unreadable,
};

// The suite's settings for all of its applications. Read only; lookups never throw and fall
// back to their defaults.
class settings_file final : public common::setting_utilities::common_settings_file
{
public:
    // The product's Settings folder, with defaults beside the host process's executable.
    settings_file();
    settings_file(const std::filesystem::path& folder, const std::filesystem::path& defaults_folder);

    // A file that does not parse, or has no "apps" array, keeps the previous apps and gives true.
    bool parse(std::string& text) override;
    // The suite owns this file: never written from here.
    bool save() override { return false; }

    // These do not load: callers load first (is_owning_app_enabled does).
    bool get_bool(std::string_view app_id, std::string_view key, bool default_value) const noexcept;
    std::wstring get_string(std::string_view app_id, std::string_view key,
                            const std::wstring& default_value) const noexcept;
    std::wstring version() const;

    // Loads; disabled when the owning app's status is exactly "disabled".
    app_status owning_app_status() noexcept;
    bool is_owning_app_enabled() noexcept { return owning_app_status() == app_status::enabled; }
    bool show_auto_tag_context_menu() noexcept;
    bool show_recognize_faces_context_menu() noexcept;

private:
    const rapidjson::Value* find(std::string_view app_id, std::string_view key) const noexcept;

    mutable std::mutex lock_;
    std::wstring version_;
    std::unique_ptr<app_table> apps_; // of the last file that had an "apps" array
};

// The process-wide instance, made on first use; throws std::filesystem::filesystem_error when the
// settings folder cannot be made (the next call tries again).
settings_file& suite_settings();
} // namespace high_level_settings
