#include "high_level_settings/settings_file.h"

#include "common/conversions.h"
#include "common/logger.h"

#include <optional>
#include <utility>

namespace high_level_settings
{
namespace
{
using common::setting_utilities::read_json;

const rapidjson::Value* member(const rapidjson::Value& object, const char* name)
{
    const auto found = object.FindMember(name);
    return found != object.MemberEnd() ? &found->value : nullptr;
}

// JSON strings end at an escaped zero character, as everywhere else in the suite.
std::string text_of(const rapidjson::Value* value)
{
    return value != nullptr && value->IsString() ? std::string(value->GetString()) : std::string();
}

std::wstring wide_text_of(const rapidjson::Value* value)
{
    return value != nullptr && value->IsString() ? common::to_wide(value->GetString()) : std::wstring();
}

std::optional<setting_value> to_setting(const rapidjson::Value& value)
{
    if (value.IsBool())
    {
        return value.GetBool();
    }
    if (value.IsString())
    {
        return std::string(value.GetString());
    }
    // IsInt holds only for numbers written without fraction or exponent that fit 32 bits.
    if (value.IsInt())
    {
        return std::int32_t{value.GetInt()};
    }
    if (value.IsArray())
    {
        std::vector<std::string> texts;
        for (const auto& element : value.GetArray())
        {
            if (element.IsString())
            {
                texts.emplace_back(element.GetString());
            }
        }
        return texts;
    }
    return std::nullopt;
}

// One level of groups is flattened; deeper objects are ignored. Later keys replace earlier ones.
setting_map to_settings(const rapidjson::Value* settings)
{
    setting_map result;
    if (settings == nullptr || !settings->IsObject())
    {
        return result;
    }
    for (const auto& entry : settings->GetObject())
    {
        const std::string key = entry.name.GetString();
        if (entry.value.IsObject())
        {
            for (const auto& inner : entry.value.GetObject())
            {
                if (auto value = to_setting(inner.value))
                {
                    result.insert_or_assign(key + "." + inner.name.GetString(), std::move(*value));
                }
            }
        }
        else if (auto value = to_setting(entry.value))
        {
            result.insert_or_assign(key, std::move(*value));
        }
    }
    return result;
}

app_record to_record(const rapidjson::Value& element)
{
    app_record record;
    if (element.IsObject())
    {
        record.app_id = text_of(member(element, "app_id"));
        record.name = wide_text_of(member(element, "name"));
        record.version = wide_text_of(member(element, "version"));
        record.status = text_of(member(element, "status"));
        record.settings = to_settings(member(element, "settings"));
    }
    return record;
}
} // namespace

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

bool settings_file::parse()
{
    try
    {
        const auto document = read_json(file_path());
        if (!document.IsObject())
        {
            return true;
        }
        const auto* version = member(document, "version");
        const auto* apps = member(document, "apps");
        if (version != nullptr && version->IsString())
        {
            auto text = common::to_wide(version->GetString());
            std::lock_guard guard(lock_);
            version_.swap(text);
        }
        if (apps == nullptr || !apps->IsArray())
        {
            return true;
        }
        app_map fresh;
        for (const auto& element : apps->GetArray())
        {
            auto record = to_record(element);
            if (!record.app_id.empty() && fresh.find(record.app_id) == fresh.end())
            {
                auto id = record.app_id;
                fresh.emplace(std::move(id), std::move(record));
            }
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

const setting_value* settings_file::find(std::string_view app_id, std::string_view key) const noexcept
{
    const auto app = apps_.find(app_id);
    if (app == apps_.end())
    {
        return nullptr;
    }
    const auto setting = app->second.settings.find(key);
    return setting != app->second.settings.end() ? &setting->second : nullptr;
}

bool settings_file::get_bool(std::string_view app_id, std::string_view key, bool default_value) const noexcept
{
    try
    {
        std::lock_guard guard(lock_);
        const auto* value = find(app_id, key);
        const auto* flag = value != nullptr ? std::get_if<bool>(value) : nullptr;
        return flag != nullptr ? *flag : default_value;
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
        const auto* text = value != nullptr ? std::get_if<std::string>(value) : nullptr;
        return text != nullptr ? common::to_wide(*text) : default_value;
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

bool settings_file::is_owning_app_enabled() noexcept
{
    if (!load(false))
    {
        common::log(common::log_level::error, L"Failed to load from high level settings file {}",
                    file_path());
        return false;
    }
    try
    {
        std::lock_guard guard(lock_);
        const auto app = apps_.find(std::string_view(owning_app_id));
        return app == apps_.end() || app->second.status != "disabled";
    }
    catch (...)
    {
        return false;
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
