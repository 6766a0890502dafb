#pragma once

#include "TagShellExtension/fixed_entry.h"

namespace tag_extension
{
// "All tags...": opens the tag manager on the selection, for the tags beyond the first nine.
TAG_DECLARE_FIXED_ENTRY(all_tags_context_menu_item, IDS_ALL_TAGS);
} // namespace tag_extension
