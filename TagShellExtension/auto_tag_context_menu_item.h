#pragma once

#include "TagShellExtension/fixed_entry.h"

namespace tag_extension
{
// "Auto tag": asks the batch processor to suggest and apply tags to the selection.
TAG_DECLARE_FIXED_ENTRY(auto_tag_context_menu_item, IDS_AUTO_TAG);
} // namespace tag_extension
