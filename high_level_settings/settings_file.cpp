#include "high_level_settings/settings_file.h"

#include "common/conversions.h"
#include "common/logger.h"

#include <algorithm>
#include <utility>

namespace high_level_settings
{
namespace
{
using common::setting_utilities::read_json_in_place;

const rapidjson::Value* member(const rapidjson::Value& object, const char* name)
{
    const auto found = object.FindMember(name);
    return found != object.MemberEnd() ? &found->value : nullptr;
}

// JSON strings and names end at an escaped zero character, as everywhere else in the suite.
std::string_view text_of(const rapidjson::Value* value)
{
    return value != nullptr && value->IsString() ? std::string_view(value->GetString()) : std::string_view();
}

// A setting holds a boolean, a text, a number written without fraction or exponent that fits
// 32 bits (IsInt), or a list; anything else is ignored.
bool is_setting(const rapidjson::Value& value)
{
    return value.IsBool() || value.IsString() || value.IsInt() || value.IsArray();
}

// The value stored under `key` when the settings object is flattened: members give their own
// name, members of a group object give "group.member" (one level only), and a later member
// replaces an earlier one with the same key, whatever the types.
const rapidjson::Value* flattened_setting(const rapidjson::Value* settings, std::string_view key)
{
    if (settings == nullptr || !settings->IsObject())
    {
        return nullptr;
    }
    const rapidjson::Value* found = nullptr;
    for (const auto& entry : settings->GetObject())
    {
        const std::string_view name = entry.name.GetString();
        if (!entry.value.IsObject())
        {
            if (name == key && is_setting(entry.value))
            {
                found = &entry.value;
            }
            continue;
        }
        if (key.size() <= name.size() || !key.starts_with(name) || key[name.size()] != '.')
        {
            continue;
        }
        const std::string_view inner_key = key.substr(name.size() + 1);
        for (const auto& inner : entry.value.GetObject())
        {
            if (inner_key == inner.name.GetString() && is_setting(inner.value))
            {
                found = &inner.value;
            }
        }
    }
    return found;
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
        auto fresh = std::make_unique<app_table>();
        fresh->document = read_json_in_place(file_path(), fresh->text);
        const auto& document = fresh->document;
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
        auto& records = fresh->records;
        for (const auto& element : apps->GetArray())
        {
            const std::string_view id =
                element.IsObject() ? text_of(member(element, "app_id")) : std::string_view();
            if (!id.empty())
            {
                records.emplace_back(id, &element);
            }
        }
        // When two records share an id, the first in the file is kept.
        std::stable_sort(records.begin(), records.end(),
                         [](const auto& left, const auto& right) { return left.first < right.first; });
        records.erase(std::unique(records.begin(), records.end(),
                                  [](const auto& left, const auto& right)
                                  { return left.first == right.first; }),
                      records.end());
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

const rapidjson::Value* settings_file::find_app(std::string_view app_id) const noexcept
{
    if (!apps_)
    {
        return nullptr;
    }
    const auto& records = apps_->records;
    const auto found =
        std::lower_bound(records.begin(), records.end(), app_id,
                         [](const auto& record, std::string_view id) { return record.first < id; });
    return found != records.end() && found->first == app_id ? found->second : nullptr;
}

const rapidjson::Value* settings_file::find(std::string_view app_id, std::string_view key) const noexcept
{
    const auto* app = find_app(app_id);
    return app != nullptr ? flattened_setting(member(*app, "settings"), key) : nullptr;
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
        const auto* app = find_app(owning_app_id);
        return app == nullptr || text_of(member(*app, "status")) != "disabled" ? app_status::enabled
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
