#include "TagShellExtension/common_tags_cache.h"

namespace tag_extension
{
std::vector<std::wstring> common_tags_cache::get(const std::function<std::vector<std::wstring>()>& read)
{
    std::lock_guard guard(lock_);
    if (!tags_)
    {
        try
        {
            tags_ = read();
        }
        catch (...)
        {
            tags_.emplace();
            throw;
        }
    }
    return *tags_;
}
} // namespace tag_extension
