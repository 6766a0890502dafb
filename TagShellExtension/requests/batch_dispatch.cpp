#include "TagShellExtension/requests/batch_dispatch.h"

#include "TagShellExtension/requests/batch_request.h"
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/requests/process_launcher.h"

namespace tag_extension
{
std::wstring action_type_name(action_type action)
{
    switch (action)
    {
    case action_type::set_rating:
        return L"set_rating";
    case action_type::remove_rating:
        return L"remove_rating";
    case action_type::remove_tags:
        return L"remove_tags";
    case action_type::toggle_tags:
        return L"toggle_tags";
    case action_type::update_tags:
        return L"update_tags";
    case action_type::auto_tag:
        return L"auto_tag";
    case action_type::icon_set_builtin_icon:
        return L"icon_set_builtin_icon";
    case action_type::icon_set_default_icon:
        return L"icon_set_default_icon";
    case action_type::icon_set_custom_icon:
        return L"icon_set_custom_icon";
    case action_type::run_context_menu_command:
        return L"run_context_menu_command";
    case action_type::organize_folder:
        return L"organize_folder";
    case action_type::organize_undo:
        return L"organize_undo";
    case action_type::recognize_faces:
        return L"recognize_faces";
    case action_type::revoke_faces:
        return L"revoke_faces";
    case action_type::forget_person:
        return L"forget_person";
    case action_type::wipe_all_people:
        return L"wipe_all_people";
    }
    return L"unknown";
}

void dispatch_batch_action(HMODULE module, const std::vector<std::wstring>& paths, action_type action,
                           const std::wstring& parameters)
{
    batch_request request;
    request.files = paths;
    request.action_type = action_type_name(action);
    request.action_parameters = parameters;
    const std::wstring request_path = write_request(request);
    launch_via_explorer(batch_processor_path(module), batch_processor_arguments(request_path));
}
} // namespace tag_extension
