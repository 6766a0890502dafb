#include "common/folders.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace
{
TEST(folders, product_and_app_data_folders_sit_under_local_app_data_and_are_made)
{
    const auto local = common::local_app_data_folder();
    ASSERT_FALSE(local.empty());
    const auto settings = common::app_data_folder(L"Settings", L"");
    EXPECT_EQ(settings.wstring(), (local / L"Quenbrook" / L"Lumora" / L"Settings").wstring() + L"\\");
    EXPECT_TRUE(std::filesystem::is_directory(settings));
    EXPECT_EQ(common::product_folder(), local / L"Quenbrook" / L"Lumora");
}

TEST(folders, module_folder_of_a_module_with_a_path_beyond_260_characters)
{
    test_support::scratch_folder scratch;
    auto deep = scratch.path();
    while (deep.wstring().size() < 300)
    {
        deep /= L"a-rather-long-folder-name";
    }
    std::filesystem::create_directories(deep);
    const auto dll = test_support::executable_folder() / L"TagShellExtension.dll";
    std::filesystem::copy_file(dll, deep / L"copy.dll");

    const std::wstring long_name = L"\\\\?\\" + (deep / L"copy.dll").wstring();
    HMODULE module = LoadLibraryExW(long_name.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr);
    const auto folder = common::module_folder(module).wstring();
    FreeLibrary(module);
    EXPECT_GT(folder.size(), 260u);
    EXPECT_TRUE(folder.ends_with(deep.filename().wstring())) << folder;
}

TEST(folders, module_folder_of_this_executable_has_no_trailing_separator)
{
    const auto folder = common::module_folder(nullptr).wstring();
    EXPECT_EQ(folder, test_support::executable_folder().wstring());
    EXPECT_NE(folder.back(), L'\\');
}
} // namespace
