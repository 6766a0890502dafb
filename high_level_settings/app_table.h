#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace high_level_settings
{
// The applications of one suite settings file: the first record of each non-empty id, and
// each record's settings flattened to "key" and "group.key" (one level; a later member
// replaces an earlier one with the same key). Built once at parse time, so that a lookup
// costs the same whatever the file holds.
class app_table
{
public:
    // Parses the file's bytes in place; the table stays empty unless the root is an object
    // with an "apps" array.
    explicit app_table(std::string text);
    app_table(const app_table&) = delete;
    app_table& operator=(const app_table&) = delete;

    const rapidjson::Document& document() const noexcept { return document_; }
    bool has_apps() const noexcept { return has_apps_; }
    // The record's "status" text; not set when there is no record for the id.
    std::optional<std::string_view> status(std::string_view app_id) const noexcept;
    // A boolean, text, 32-bit integer or list setting; null when there is none.
    const rapidjson::Value* setting(std::string_view app_id, std::string_view key) const noexcept;

private:
    struct app_record
    {
        std::string_view id;
        std::string_view status;
    };
    struct setting_entry
    {
        const rapidjson::Value* group; // name of the group object; null at the top level
        const rapidjson::Value::Member* member;
        std::uint32_t app;
    };

    void add_app(std::string_view id, const rapidjson::Value& record);
    void add_setting(std::uint32_t app, const rapidjson::Value* group,
                     const rapidjson::Value::Member& member);
    std::optional<std::uint32_t> find_app(std::string_view id) const noexcept;

    std::string text_; // the document's strings point into it
    rapidjson::Document document_;
    bool has_apps_ = false;
    std::vector<app_record> apps_;
    std::vector<setting_entry> settings_;
    // Open addressing, at most half full: position + 1 in apps_ or settings_, 0 for a free slot.
    std::vector<std::uint32_t> app_slots_;
    std::vector<std::uint32_t> setting_slots_;
};
} // namespace high_level_settings
