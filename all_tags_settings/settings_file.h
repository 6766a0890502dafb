#pragma once

#include "common/setting_utilities/common_settings_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace all_tags_settings
{
// One user-defined tag. Optional fields tell a missing key from an empty text.
struct tag_definition
{
    std::wstring name;
    std::optional<std::int32_t> order;
    std::optional<std::wstring> icon_not_tagged;
    std::optional<std::wstring> icon_when_tagged;
    std::optional<std::wstring> keyboard;

    bool operator==(const tag_definition&) const = default;
};

// The user's tag definitions, in file order. No lock: holders serialise load and every access.
class settings_file final : public common::setting_utilities::common_settings_file
{
public:
    // The product's Settings folder, with defaults beside this DLL.
    settings_file();
    settings_file(const std::filesystem::path& folder, const std::filesystem::path& defaults_folder);

    // False when the root is not an object (including files that do not parse); data then stay.
    bool parse(std::string& text) override;
    // Replaces the file as a whole or not at all; false when it could not be written.
    bool save() override;

    const std::vector<tag_definition>& tags() const noexcept { return tags_; }
    std::vector<tag_definition>& tags() noexcept { return tags_; }
    const std::wstring& version() const noexcept { return version_; }
    void set_version(std::wstring version) noexcept { version_.swap(version); }
    std::int32_t window_height() const noexcept { return window_height_; }
    std::int32_t window_width() const noexcept { return window_width_; }
    void set_window_size(std::int32_t height, std::int32_t width) noexcept
    {
        window_height_ = height;
        window_width_ = width;
    }

private:
    std::wstring version_;
    std::int32_t window_height_ = 0;
    std::int32_t window_width_ = 0;
    std::vector<tag_definition> tags_;
};
} // namespace all_tags_settings
