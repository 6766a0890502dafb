#include "TagShellExtension/fixed_entries.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/metadata/shell_paths.h"
#include "common/folders.h"

#include <fmt/format.h>

namespace tag_extension
{
HRESULT dispatch_for_selection(IShellItemArray* items, action_type action,
                               invoke_failure_texts texts) noexcept
{
    return guarded(
        S_FALSE,
        [&](const std::exception* error)
        {
            if (error != nullptr)
            {
                common::log(common::log_level::error, "{}",
                            fmt::format(fmt::runtime(texts.with_details), error->what()));
            }
            else
            {
                common::log(common::log_level::error, "{}", texts.without_details);
            }
        },
        [&]
        {
            dispatch_batch_action(common::module_handle(), get_parsing_paths(items), action, L"");
            return S_OK;
        });
}
} // namespace tag_extension
