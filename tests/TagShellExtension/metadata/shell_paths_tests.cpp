#include "TagShellExtension/metadata/shell_paths.h"
#include "common/windows_paths.h"
#include "support/fake_shell_items.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace
{
using namespace tag_extension;
using namespace test_support;

TEST(get_parsing_paths, keeps_array_order_skips_withheld_items_and_an_unnamed_one_throws)
{
    EXPECT_TRUE(get_parsing_paths(nullptr).empty());
    EXPECT_TRUE(get_parsing_paths(make_items({{L"C:\\a"}, true}).Get()).empty());
    const std::vector<std::wstring> paths{L"C:\\b", L"C:\\a", L"\\\\server\\share\\c"};
    EXPECT_EQ(get_parsing_paths(make_items(paths).Get()), paths);

    EXPECT_THROW(get_parsing_paths(make_items({{L"C:\\a"}, false, true}).Get()), std::runtime_error);
}

TEST(hresult_message, drops_the_line_break_and_insert_markers_followed_by_a_space)
{
    EXPECT_EQ(hresult_message(static_cast<HRESULT>(0xDEADBEEF)), "Unknown HRESULT error.");
    // The system's text of this code carries "%1 " in the middle and "%2" at its end.
    const std::string markers = hresult_message(ERROR_MR_MID_NOT_FOUND);
    EXPECT_TRUE(markers.find("%1 ") == std::string::npos && markers.ends_with("%2.")) << markers;
}

TEST(canonical_path, resolves_to_the_plain_final_path_or_raises_a_filesystem_error)
{
    scratch_folder scratch;
    const std::wstring file = scratch.write("Sub\\a.txt", "x").wstring();
    EXPECT_EQ(canonical_path((scratch / "Sub\\..\\Sub\\a.txt").wstring()), canonical_path(file));
    EXPECT_EQ(canonical_path(L"\\\\?\\" + file), canonical_path(file));
    EXPECT_FALSE(canonical_path(file).starts_with(L"\\\\?\\"));
    EXPECT_THROW(canonical_path((scratch / "missing").wstring()), std::filesystem::filesystem_error);
    EXPECT_EQ(common::without_long_path_prefix(L"\\\\?\\UNC\\server\\share\\a"), L"\\\\server\\share\\a");
    EXPECT_EQ(common::without_long_path_prefix(L"\\\\?\\Volume{0}\\a"), L"\\\\?\\Volume{0}\\a");
}
} // namespace
