#pragma once

#include "TagShellExtension/requests/batch_dispatch.h"

#include <shobjidl.h>

#include <string>
#include <string_view>

namespace tag_extension
{
// Log texts of one entry's failed Invoke: the first takes the exception's text.
struct invoke_failure_texts
{
    std::string_view with_details;
    std::string_view without_details;
};

// Sends the selection to the batch processor with an empty parameter; S_FALSE after a logged failure.
HRESULT dispatch_for_selection(IShellItemArray* items, action_type action,
                               invoke_failure_texts texts) noexcept;
} // namespace tag_extension
