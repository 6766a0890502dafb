#include "TagShellExtension/selection_dispatch.h"

#include "TagShellExtension/metadata/shell_paths.h"
#include "common/folders.h"

namespace tag_extension
{
HRESULT dispatch_for_selection(IShellItemArray* items, action_type action,
                               const failure_texts& texts) noexcept
{
    return logged_call(S_FALSE, texts,
                       [&]
                       {
                           dispatch_batch_action(common::module_handle(), get_parsing_paths(items), action,
                                                 L"");
                           return S_OK;
                       });
}
} // namespace tag_extension
