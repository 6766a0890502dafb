#include "all_tags_settings/settings_file.h"

#include "common/conversions.h"
#include "common/folders.h"
#include "common/logger.h"
#include "common/whole_file.h"
#include "common/setting_utilities/json_reading.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>

namespace all_tags_settings
{
namespace
{
using common::setting_utilities::member;
using common::setting_utilities::optional_text;
using json_writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

// The suite writes order as a string; read it the way atoi does, clamped to 32 bits.
std::int32_t decimal_value(const char* text) noexcept
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
    {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
    {
        ++text;
    }
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
    {
        value = std::min<std::int64_t>(value * 10 + (*text - '0'), std::int64_t{1} << 31);
    }
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(negative ? -value : value, INT32_MIN, INT32_MAX));
}

tag_definition to_definition(const rapidjson::Value& element)
{
    tag_definition tag;
    if (!element.IsObject())
    {
        return tag;
    }
    tag.name = optional_text(element, "name").value_or(std::wstring());
    const auto* order = member(element, "order");
    if (order != nullptr && order->IsString())
    {
        tag.order = decimal_value(order->GetString());
    }
    tag.icon_not_tagged = optional_text(element, "icon_not_tagged");
    tag.icon_when_tagged = optional_text(element, "icon_when_tagged");
    tag.keyboard = optional_text(element, "keyboard");
    return tag;
}

void read_window_size(const rapidjson::Value& document, std::int32_t& height, std::int32_t& width)
{
    const auto* app = member(document, "app");
    const auto* window = app != nullptr && app->IsObject() ? member(*app, "window") : nullptr;
    if (window == nullptr || !window->IsObject())
    {
        return;
    }
    if (const auto* value = member(*window, "height"); value != nullptr && value->IsInt())
    {
        height = value->GetInt();
    }
    if (const auto* value = member(*window, "width"); value != nullptr && value->IsInt())
    {
        width = value->GetInt();
    }
}

void write_text(json_writer& writer, const std::wstring& text)
{
    const auto utf8 = common::to_utf8(text);
    writer.String(utf8.data(), static_cast<rapidjson::SizeType>(utf8.size()));
}

void write_optional(json_writer& writer, const char* key, const std::optional<std::wstring>& text)
{
    if (text)
    {
        writer.Key(key);
        write_text(writer, *text);
    }
}

} // namespace

settings_file::settings_file()
    : settings_file(common::setting_utilities::settings_folder(L"Settings"),
                    common::setting_utilities::defaults_folder(common::module_handle()))
{
}

settings_file::settings_file(const std::filesystem::path& folder,
                             const std::filesystem::path& defaults_folder)
    : common_settings_file(folder, defaults_folder, L"All Tags")
{
}

bool settings_file::parse(std::string& text)
{
    const auto document = common::setting_utilities::parse_json(text);
    if (!document.IsObject())
    {
        return false;
    }
    if (const auto version = optional_text(document, "version"))
    {
        version_ = *version;
    }
    read_window_size(document, window_height_, window_width_);
    const auto* tags = member(document, "tags");
    if (tags == nullptr || !tags->IsArray())
    {
        return true;
    }
    std::vector<tag_definition> fresh;
    fresh.reserve(tags->Size());
    for (const auto& element : tags->GetArray())
    {
        fresh.push_back(to_definition(element));
    }
    tags_.swap(fresh);
    return true;
}

bool settings_file::save()
{
    try
    {
        rapidjson::StringBuffer buffer;
        json_writer writer(buffer);
        writer.StartObject();
        writer.Key("version");
        write_text(writer, version_);
        writer.Key("app");
        writer.StartObject();
        writer.Key("window");
        writer.StartObject();
        writer.Key("height");
        writer.Int(window_height_);
        writer.Key("width");
        writer.Int(window_width_);
        writer.EndObject();
        writer.EndObject();
        writer.Key("tags");
        writer.StartArray();
        for (const auto& tag : tags_)
        {
            writer.StartObject();
            writer.Key("name");
            write_text(writer, tag.name);
            if (tag.order)
            {
                writer.Key("order");
                writer.String(std::to_string(*tag.order));
            }
            write_optional(writer, "icon_not_tagged", tag.icon_not_tagged);
            write_optional(writer, "icon_when_tagged", tag.icon_when_tagged);
            write_optional(writer, "keyboard", tag.keyboard);
            writer.EndObject();
        }
        writer.EndArray();
        writer.EndObject();
        if (common::replace_file(file_path(), std::string_view(buffer.GetString(), buffer.GetSize())))
        {
            return true;
        }
        common::log(common::log_level::error, L"Failed to save settings file {}, error {}", file_path(),
                    GetLastError());
    }
    catch (const std::exception& error)
    {
        common::log(common::log_level::error, "Failed to save tag definitions. Details {}", error.what());
    }
    return false;
}
} // namespace all_tags_settings
