#include "high_level_settings/settings_file.h"

#include "common/conversions.h"
#include "common/logger.h"
#include "common/setting_utilities/json_reading.h"

#include <utility>

namespace high_level_settings
{
settings_file::settings_file()
    : settings_file(common::setting_utilities::settings_folder(L"Settings"),
                    common::setting_utilities::defaults_folder(GetModuleHandleW(nullptr)))
{
}

settings_file::settings_file(const std::filesystem::path& folder,
                             const std::filesystem::path& defaults_folder)
    : common_settings_file(folder, defaults_folder, L"High Level Settings")
{
}

bool settings_file::parse(std::string& text)
{
    try
    {
        auto fresh = std::make_unique<app_table>(std::move(text));
        const auto& document = fresh->document();
        if (!document.IsObject())
        {
            return true;
        }
        if (const auto version = common::setting_utilities::optional_text(document, "version"))
        {
            std::lock_guard guard(lock_);
            version_ = *version;
        }
        if (!fresh->has_apps())
        {
            return true;
        }
        {
            // Lookups never see a half-built table; the old one is freed after the lock is released.
            std::lock_guard guard(lock_);
            apps_.swap(fresh);
        }
        return true;
    }
    catch (...)
    {
        return false;
    }
}

const rapidjson::Value* settings_file::find(std::string_view app_id, std::string_view key) const noexcept
{
    return apps_ ? apps_->setting(app_id, key) : nullptr;
}

bool settings_file::get_bool(std::string_view app_id, std::string_view key, bool default_value) const noexcept
{
    try
    {
        std::lock_guard guard(lock_);
        const auto* value = find(app_id, key);
        return value != nullptr && value->IsBool() ? value->GetBool() : default_value;
    }
    catch (...)
    {
        return default_value;
    }
}

std::wstring settings_file::get_string(std::string_view app_id, std::string_view key,
                                       const std::wstring& default_value) const noexcept
{
    try
    {
        std::lock_guard guard(lock_);
        const auto* value = find(app_id, key);
        return value != nullptr && value->IsString() ? common::to_wide(value->GetString()) : default_value;
    }
    catch (...)
    {
        return {};
    }
}

std::wstring settings_file::version() const
{
    std::lock_guard guard(lock_);
    return version_;
}

app_status settings_file::owning_app_status() noexcept
{
    if (!load(false))
    {
        common::log(common::log_level::error, L"Failed to load from high level settings file {}",
                    file_path());
        return app_status::settings_unreadable;
    }
    try
    {
        std::lock_guard guard(lock_);
        return !apps_ || apps_->status(owning_app_id) != "disabled" ? app_status::enabled
                                                                    : app_status::disabled;
    }
    catch (...)
    {
        return app_status::settings_unreadable;
    }
}

bool settings_file::show_auto_tag_context_menu() noexcept
{
    const bool enabled = is_owning_app_enabled();
    const bool shown = get_bool(people_app_id, "general.showAutoTagContextMenu", true);
    return enabled && shown;
}

bool settings_file::show_recognize_faces_context_menu() noexcept
{
    const bool enabled = is_owning_app_enabled();
    const bool shown = get_bool(people_app_id, "people_recognition.show_recognize_faces_context_menu", true);
    return enabled && shown;
}

settings_file& suite_settings()
{
    static settings_file instance;
    return instance;
}
} // namespace high_level_settings
