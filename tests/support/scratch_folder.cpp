#include "support/scratch_folder.h"

#include <windows.h>

#include <objbase.h>

#include <fstream>
#include <sstream>
#include <string>

namespace test_support
{
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
    // The long-path form also removes trees deeper than MAX_PATH.
    std::error_code ignored;
    std::filesystem::remove_all(L"\\\\?\\" + path_.wstring(), ignored);
}

std::filesystem::path scratch_folder::write(const std::filesystem::path& name, std::string_view bytes) const
{
    const auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::filesystem::path executable_folder()
{
    std::wstring name(32768, L'\0');
    name.resize(GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size())));
    return std::filesystem::path(name).parent_path();
}
} // namespace test_support
