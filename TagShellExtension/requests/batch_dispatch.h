#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tag_extension
{
// The request vocabulary shared with the companion executables. 6 to 16 are unassigned.
enum class action_type : std::uint8_t
{
    set_rating = 0,
    remove_rating = 1,
    remove_tags = 2,
    toggle_tags = 3,
    update_tags = 4,
    auto_tag = 5,
    icon_set_builtin_icon = 17,
    icon_set_default_icon = 18,
    icon_set_custom_icon = 19,
    run_context_menu_command = 20,
    organize_folder = 21,
    organize_undo = 22,
    recognize_faces = 23,
    revoke_faces = 24,
    forget_person = 25,
    wipe_all_people = 26,
};

// The name written to "action_type"; "unknown" for unassigned values.
std::wstring action_type_name(action_type action);

// Writes a request for the selection and starts the batch processor beside `module` on it,
// without waiting. Raises on failure; the request file then stays in the temporary folder.
void dispatch_batch_action(HMODULE module, const std::vector<std::wstring>& paths, action_type action,
                           const std::wstring& parameters);
} // namespace tag_extension
