#pragma once

#include "TagShellExtension/fixed_entry.h"

namespace tag_extension
{
// "Remove all tags": asks the batch processor to clear the selection's tags.
TAG_DECLARE_FIXED_ENTRY(remove_all_tags_context_menu_item, IDS_REMOVE_ALL_TAGS);
} // namespace tag_extension
