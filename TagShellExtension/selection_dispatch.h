#pragma once

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/requests/batch_dispatch.h"

#include <shobjidl.h>

namespace tag_extension
{
// Sends the selection to the batch processor with an empty parameter; S_FALSE after a failure
// logged with `texts`.
HRESULT dispatch_for_selection(IShellItemArray* items, action_type action,
                               const failure_texts& texts) noexcept;
} // namespace tag_extension
