#include "support/scratch_folder.h"

#include "common/unique_resources.h"

#include <windows.h>

#include <objbase.h>

#include <fstream>
#include <string>

namespace test_support
{
namespace
{
// With the long-path form and the Win32 calls: std::filesystem::remove_all of MinGW leaves trees
// deeper than MAX_PATH (with a 32 MB copy of the DLL inside) in the temporary folder. Links are
// removed, never followed.
void remove_tree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    const common::unique_hfind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &found) != FALSE)
    {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (name == L"." || name == L"..")
        {
            continue;
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        const DWORD kind = found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
        if (kind == FILE_ATTRIBUTE_DIRECTORY)
        {
            remove_tree(path);
        }
        else if ((kind & FILE_ATTRIBUTE_DIRECTORY) != 0)
        {
            RemoveDirectoryW(path.c_str());
        }
        else
        {
            DeleteFileW(path.c_str());
        }
    }
    RemoveDirectoryW(folder.c_str());
}
} // namespace

scratch_folder::scratch_folder()
{
    // Wine reuses process ids, so a fresh GUID names the folder.
    GUID id{};
    CoCreateGuid(&id);
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    path_ = std::filesystem::temp_directory_path() / (std::wstring(L"tag-test-") + text);
    std::filesystem::create_directories(path_);
}

scratch_folder::~scratch_folder()
{
    remove_tree(L"\\\\?\\" + path_.wstring());
}

std::filesystem::path scratch_folder::write(const std::filesystem::path& name, std::string_view bytes) const
{
    const auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

} // namespace test_support
