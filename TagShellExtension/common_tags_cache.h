#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tag_extension
{
// The tags every selected item carries, read once per opening of the cascade and shared
// by all of its tag entries. Explorer may ask several entries for icons at once on
// different threads: the first fills the list, the others wait for it.
class common_tags_cache
{
public:
    // Runs `read` unless the list is already known; a failing read leaves an empty list.
    std::vector<std::wstring> get(const std::function<std::vector<std::wstring>()>& read);

private:
    std::mutex lock_;
    std::optional<std::vector<std::wstring>> tags_;
};
} // namespace tag_extension
