#include "high_level_settings/app_table.h"

#include "common/setting_utilities/json_reading.h"

#include <chrono>

namespace high_level_settings
{
namespace
{
using common::setting_utilities::member;
using common::setting_utilities::text_of;
using rapidjson::Value;

// A setting holds a boolean, a text, a number written without fraction or exponent that fits
// 32 bits (IsInt), or a list; anything else is ignored.
bool is_setting(const Value& value)
{
    return value.IsBool() || value.IsString() || value.IsInt() || value.IsArray();
}

// A settings key as "group.name", or as "name" alone, without joining the two.
struct setting_key
{
    std::string_view group;
    std::string_view name;
    bool grouped = false;

    size_t size() const noexcept { return grouped ? group.size() + 1 + name.size() : name.size(); }
    char operator[](size_t i) const noexcept
    {
        if (!grouped)
        {
            return name[i];
        }
        return i < group.size() ? group[i] : i == group.size() ? '.' : name[i - group.size() - 1];
    }
};

bool same_key(const setting_key& left, const setting_key& right) noexcept
{
    if (left.size() != right.size())
    {
        return false;
    }
    for (size_t i = 0; i < left.size(); ++i)
    {
        if (left[i] != right[i])
        {
            return false;
        }
    }
    return true;
}

// FNV-1a from a basis drawn once per process, so that a file cannot be written in advance to
// make its keys meet in one chain.
std::uint64_t hash_basis() noexcept
{
    static const std::uint64_t basis = []
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return 0xcbf29ce484222325ull ^ (static_cast<std::uint64_t>(now) * 0x9E3779B97F4A7C15ull);
    }();
    return basis;
}

std::uint64_t add_to_hash(std::uint64_t hash, std::string_view bytes) noexcept
{
    for (const char c : bytes)
    {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    }
    return hash;
}

std::uint64_t hash_of(std::uint32_t app, const setting_key& key) noexcept
{
    std::uint64_t hash = hash_basis() ^ (app * 0x9E3779B97F4A7C15ull);
    if (key.grouped)
    {
        hash = add_to_hash(add_to_hash(hash, key.group), ".");
    }
    return add_to_hash(hash, key.name);
}

std::vector<std::uint32_t> free_slots(size_t entries)
{
    size_t size = 16;
    while (size < 2 * entries)
    {
        size *= 2;
    }
    return std::vector<std::uint32_t>(size, 0);
}

// The slot of the entry that `matches` accepts, or the free slot where it belongs.
template <typename Slots, typename Matches> auto& slot_for(Slots& slots, std::uint64_t hash, Matches matches)
{
    const size_t mask = slots.size() - 1;
    for (size_t i = static_cast<size_t>(hash ^ (hash >> 32)) & mask;; i = (i + 1) & mask)
    {
        if (slots[i] == 0 || matches(slots[i] - 1))
        {
            return slots[i];
        }
    }
}

template <typename Entry> setting_key key_of(const Entry& entry) noexcept
{
    return {text_of(entry.group), text_of(&entry.member->name), entry.group != nullptr};
}

template <typename Slots, typename Apps> auto& app_slot(Slots& slots, const Apps& apps, std::string_view id)
{
    return slot_for(slots, hash_of(0, {{}, id}), [&](std::uint32_t at) { return apps[at].id == id; });
}

template <typename Slots, typename Settings>
auto& setting_slot(Slots& slots, const Settings& settings, std::uint32_t app, const setting_key& key)
{
    return slot_for(slots, hash_of(app, key),
                    [&](std::uint32_t at)
                    { return settings[at].app == app && same_key(key_of(settings[at]), key); });
}

const Value* settings_of(const Value& record)
{
    const auto* settings = member(record, "settings");
    return settings != nullptr && settings->IsObject() ? settings : nullptr;
}

// How many settings the records hold at most, counting groups' members.
size_t settings_bound(const Value& apps)
{
    size_t count = 0;
    for (const auto& record : apps.GetArray())
    {
        const auto* settings = record.IsObject() ? settings_of(record) : nullptr;
        if (settings == nullptr)
        {
            continue;
        }
        for (const auto& entry : settings->GetObject())
        {
            count += entry.value.IsObject() ? entry.value.MemberCount() : 1;
        }
    }
    return count;
}
} // namespace

app_table::app_table(std::string text) : text_(std::move(text))
{
    document_ = common::setting_utilities::parse_json(text_);
    const auto* apps = document_.IsObject() ? member(document_, "apps") : nullptr;
    if (apps == nullptr || !apps->IsArray())
    {
        return;
    }
    has_apps_ = true;
    app_slots_ = free_slots(apps->Size());
    setting_slots_ = free_slots(settings_bound(*apps));
    for (const auto& record : apps->GetArray())
    {
        if (record.IsObject())
        {
            add_app(text_of(member(record, "app_id")), record);
        }
    }
}

void app_table::add_app(std::string_view id, const Value& record)
{
    if (id.empty())
    {
        return;
    }
    auto& slot = app_slot(app_slots_, apps_, id);
    // When two records share an id, the first in the file counts.
    if (slot != 0)
    {
        return;
    }
    apps_.push_back({id, text_of(member(record, "status"))});
    slot = static_cast<std::uint32_t>(apps_.size());
    const auto* settings = settings_of(record);
    if (settings == nullptr)
    {
        return;
    }
    const auto app = slot - 1;
    for (const auto& entry : settings->GetObject())
    {
        if (!entry.value.IsObject())
        {
            if (is_setting(entry.value))
            {
                add_setting(app, nullptr, entry);
            }
            continue;
        }
        for (const auto& inner : entry.value.GetObject())
        {
            if (is_setting(inner.value))
            {
                add_setting(app, &entry.name, inner);
            }
        }
    }
}

void app_table::add_setting(std::uint32_t app, const Value* group, const Value::Member& setting)
{
    const setting_key key{text_of(group), text_of(&setting.name), group != nullptr};
    auto& slot = setting_slot(setting_slots_, settings_, app, key);
    // A later member replaces an earlier one with the same key, whatever the types.
    if (slot != 0)
    {
        settings_[slot - 1] = {group, &setting, app};
        return;
    }
    settings_.push_back({group, &setting, app});
    slot = static_cast<std::uint32_t>(settings_.size());
}

std::optional<std::uint32_t> app_table::find_app(std::string_view id) const noexcept
{
    if (app_slots_.empty())
    {
        return std::nullopt;
    }
    const auto slot = app_slot(app_slots_, apps_, id);
    return slot != 0 ? std::optional(slot - 1) : std::nullopt;
}

std::optional<std::string_view> app_table::status(std::string_view app_id) const noexcept
{
    const auto app = find_app(app_id);
    return app ? std::optional(apps_[*app].status) : std::nullopt;
}

const Value* app_table::setting(std::string_view app_id, std::string_view key) const noexcept
{
    const auto app = find_app(app_id);
    if (!app)
    {
        return nullptr;
    }
    const auto slot = setting_slot(setting_slots_, settings_, *app, {{}, key});
    return slot != 0 ? &settings_[slot - 1].member->value : nullptr;
}
} // namespace high_level_settings
