#include "TagShellExtension/recognize_faces_context_menu_item.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/icons/command_icons.h"
#include "TagShellExtension/metadata/shell_paths.h"
#include "TagShellExtension/module_strings.h"
#include "TagShellExtension/requests/batch_dispatch.h"
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/requests/process_launcher.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "high_level_settings/settings_file.h"
#include "resource.h"

#include <cwctype>
#include <stdexcept>

namespace tag_extension
{
namespace
{
constexpr const wchar_t* image_extensions[] = {L".jpg",  L".jpeg", L".png",  L".bmp",  L".tif",
                                               L".tiff", L".gif",  L".webp", L".heic", L".heif"};

bool people_recognition_allowed()
{
    auto& settings = high_level_settings::suite_settings();
    // All three are read, so the first one refreshes the file for the other two.
    const bool owning_app = settings.is_owning_app_enabled();
    const bool enabled =
        settings.get_bool(high_level_settings::people_app_id, "people_recognition.enabled", false);
    const bool consented =
        settings.get_bool(high_level_settings::people_app_id, "people_recognition.consent_accepted", false);
    return owning_app && enabled && consented;
}

void collect_from_folder(const std::filesystem::path& folder, std::vector<std::wstring>& images)
{
    using std::filesystem::directory_options;
    std::error_code error;
    std::filesystem::recursive_directory_iterator entry(folder, directory_options::skip_permission_denied,
                                                        error);
    if (error)
    {
        common::log(common::log_level::error, L"Recognize faces: could not enumerate folder {}",
                    folder.wstring());
        return;
    }
    for (const std::filesystem::recursive_directory_iterator end; entry != end; entry.increment(error))
    {
        if (error)
        {
            return;
        }
        std::error_code ignored;
        if (entry->is_regular_file(ignored) && has_image_extension(entry->path()))
        {
            images.push_back(entry->path().wstring());
        }
    }
}
} // namespace

bool has_image_extension(const std::filesystem::path& path)
{
    std::wstring extension = path.extension().wstring();
    for (auto& c : extension)
    {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    for (const auto* image : image_extensions)
    {
        if (extension == image)
        {
            return true;
        }
    }
    return false;
}

std::vector<std::wstring> collect_image_files(const std::vector<std::wstring>& paths)
{
    std::vector<std::wstring> images;
    for (const auto& path : paths)
    {
        std::error_code error;
        if (std::filesystem::is_directory(path, error))
        {
            collect_from_folder(path, images);
        }
        else if (has_image_extension(path))
        {
            images.push_back(path);
        }
    }
    return images;
}

IFACEMETHODIMP recognize_faces_context_menu_item::GetTitle(IShellItemArray*, LPWSTR* title) noexcept
{
    static const std::wstring text = load_module_string(IDS_RECOGNIZE_FACES);
    return duplicate_string(text, title);
}

IFACEMETHODIMP recognize_faces_context_menu_item::GetIcon(IShellItemArray*, LPWSTR* icon) noexcept
{
    static const std::wstring path = auto_tag_icon_path();
    return duplicate_string(path, icon);
}

IFACEMETHODIMP recognize_faces_context_menu_item::Invoke(IShellItemArray* items, IBindCtx*) noexcept
{
    return logged_call(
        S_FALSE,
        {"Failed to recognize faces for selected files: {1}",
         "Failed to recognize faces for some or all selected files..."},
        [&]
        {
            if (!people_recognition_allowed())
            {
                common::log(common::log_level::info, "Recognize faces: Kinset+ is not enabled/consented yet; "
                                                     "opening the Kinset+ settings page.");
                const std::wstring program = main_application_path(common::module_handle());
                if (!launch_with_detached_fallback(program, main_application_arguments()))
                {
                    throw std::runtime_error("Unable to launch " + common::to_utf8(program));
                }
                return S_OK;
            }
            const auto images = collect_image_files(get_parsing_paths(items));
            if (images.empty())
            {
                common::log(common::log_level::info,
                            "Recognize faces: no recognizable image files in the selection; nothing to do.");
                return S_FALSE;
            }
            dispatch_batch_action(common::module_handle(), images, action_type::recognize_faces, L"");
            return S_OK;
        });
}
} // namespace tag_extension
