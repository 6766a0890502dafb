#include "TagShellExtension/recognize_faces_context_menu_item.h"

#include "TagShellExtension/com_call.h"
#include "TagShellExtension/icons/command_icons.h"
#include "TagShellExtension/metadata/shell_paths.h"
#include "TagShellExtension/requests/batch_dispatch.h"
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/requests/process_launcher.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "common/unique_resources.h"
#include "high_level_settings/settings_file.h"
#include "common/windows_paths.h"

#include <algorithm>
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

bool has_image_extension(std::wstring_view path)
{
    std::wstring extension(common::file_extension(path));
    for (auto& c : extension)
    {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return std::find(std::begin(image_extensions), std::end(image_extensions), extension) !=
           std::end(image_extensions);
}

// One folder being listed, with the entry the listing returned last.
struct listing
{
    std::wstring folder;
    common::unique_hfind search{};
    WIN32_FIND_DATAW entry{};
    bool taken = false;
};

// Folder links and junctions are never entered, nor a reparse point whose tag cannot be read (Wine
// shows a Unix link to a folder so). Other reparse points, such as cloud folders, are walked.
bool is_walkable_folder(const WIN32_FIND_DATAW& entry)
{
    const std::wstring_view name = entry.cFileName;
    if (name == L"." || name == L"..")
    {
        return false;
    }
    const DWORD tag = entry.dwReserved0;
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
           (tag != 0 && tag != IO_REPARSE_TAG_SYMLINK && tag != IO_REPARSE_TAG_MOUNT_POINT);
}

// A link to a file counts under its own path when what it names is a file; a broken one does not.
bool names_a_file(const WIN32_FIND_DATAW& entry, const std::wstring& path)
{
    const DWORD tag = entry.dwReserved0;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
        (tag != 0 && tag != IO_REPARSE_TAG_SYMLINK))
    {
        return true;
    }
    const common::unique_hfile file(CreateFileW(common::long_path_form(path).c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION target{};
    return file && GetFileInformationByHandle(file.get(), &target) &&
           (target.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A folder whose listing is denied counts as empty; any other failure is logged.
void open_listing(std::wstring folder, std::vector<listing>& open)
{
    listing next{std::move(folder)};
    next.search.reset(FindFirstFileExW(common::long_path_form(common::joined_path(next.folder, L"*")).c_str(),
                                       FindExInfoBasic, &next.entry, FindExSearchNameMatch, nullptr, 0));
    if (!next.search)
    {
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_FILE_NOT_FOUND)
        {
            common::log(common::log_level::error, L"Recognize faces: could not enumerate folder {}",
                        next.folder);
        }
        return;
    }
    open.push_back(std::move(next));
}

// Depth first, a subfolder's contents where the subfolder is met. The open listings live on the
// heap, so a deep tree cannot exhaust the small stack of Explorer's thread.
void collect_from_folder(const std::wstring& root, std::vector<std::wstring>& images)
{
    std::vector<listing> open;
    open_listing(root, open);
    while (!open.empty())
    {
        listing& top = open.back();
        if (top.taken && !FindNextFileW(top.search.get(), &top.entry))
        {
            if (GetLastError() != ERROR_NO_MORE_FILES)
            {
                common::log(common::log_level::error, L"Recognize faces: could not enumerate folder {}",
                            top.folder);
            }
            open.pop_back();
            continue;
        }
        top.taken = true;
        std::wstring path = common::joined_path(top.folder, top.entry.cFileName);
        if ((top.entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        {
            if (is_walkable_folder(top.entry))
            {
                open_listing(std::move(path), open);
            }
        }
        else if (has_image_extension(top.entry.cFileName) && names_a_file(top.entry, path))
        {
            images.push_back(std::move(path));
        }
    }
}

// Image files of the selection in selection order; a selected folder is walked, a selected
// link to a folder too, but no link met inside one.
std::vector<std::wstring> collect_image_files(const std::vector<std::wstring>& paths)
{
    std::vector<std::wstring> images;
    for (const auto& path : paths)
    {
        const DWORD attributes = GetFileAttributesW(common::long_path_form(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
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
} // namespace

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
