#include "TagShellExtension/all_tags_context_menu_item.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/metadata/shell_paths.h"
#include "TagShellExtension/requests/batch_dispatch.h"
#include "TagShellExtension/requests/batch_request.h"
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/requests/process_launcher.h"
#include "all_tags_settings/settings_file.h"
#include "common/conversions.h"
#include "common/folders.h"

#include <stdexcept>

namespace tag_extension
{
IFACEMETHODIMP all_tags_context_menu_item::GetIcon(IShellItemArray*, LPWSTR* icon) noexcept
{
    return no_text(icon);
}

IFACEMETHODIMP all_tags_context_menu_item::Invoke(IShellItemArray* items, IBindCtx*) noexcept
{
    std::vector<std::wstring> paths;
    return logged_call(
        S_FALSE,
        {"Failed to append tags for files: {}. Details {}", "Failed to append tags for selected files..."},
        [&]
        {
            paths = get_parsing_paths(items);
            if (!data().tag_definitions)
            {
                throw std::runtime_error("The tag definitions are not loaded");
            }
            // Fails for a missing file, before any request is written.
            const std::wstring definitions = canonical_path(data().tag_definitions->file_path());
            batch_request request;
            request.files = paths;
            request.action_type = action_type_name(action_type::toggle_tags);
            const std::wstring request_path = write_request(request);
            const std::wstring program = tag_manager_path(common::module_handle());
            if (!launch_with_wait_fallback(program, tag_manager_arguments(definitions, request_path)))
            {
                throw std::runtime_error("Unable to launch " + common::to_utf8(program));
            }
            return S_OK;
        },
        [&] { return joined_paths(paths); });
}
} // namespace tag_extension
