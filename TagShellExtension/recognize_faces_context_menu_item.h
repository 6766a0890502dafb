#pragma once

#include "TagShellExtension/fixed_entry.h"

namespace tag_extension
{
// "Recognize faces": hands the selection's images to the batch processor once the user has
// enabled and consented to people recognition; until then opens its settings page.
TAG_DECLARE_FIXED_ENTRY(recognize_faces_context_menu_item, IDS_RECOGNIZE_FACES);
} // namespace tag_extension
