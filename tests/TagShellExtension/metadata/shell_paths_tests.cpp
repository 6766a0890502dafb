#include "TagShellExtension/metadata/shell_paths.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace
{
using namespace tag_extension;
using test_support::fake_selection;
using test_support::make_items;

TEST(get_parsing_paths, keeps_array_order_skips_withheld_items_and_an_unnamed_one_logs_once_and_throws)
{
    EXPECT_TRUE(get_parsing_paths(nullptr).empty());
    EXPECT_TRUE(get_parsing_paths(make_items(fake_selection{{L"C:\\a"}, true}).Get()).empty());
    const std::vector<std::wstring> paths{L"C:\\b", L"C:\\a", L"\\\\server\\share\\c"};
    EXPECT_EQ(get_parsing_paths(make_items(paths).Get()), paths);

    const test_support::log_mark mark;
    EXPECT_THROW(get_parsing_paths(make_items(fake_selection{{L"C:\\a", L"C:\\b"}, false, true}).Get()),
                 std::runtime_error);
    const std::string log = mark.new_text();
    const auto line =
        log.find("] [ERROR] GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING) failed with HRESULT -7FFFBFFB " +
                 hresult_message(E_FAIL) + "\n");
    EXPECT_NE(line, std::string::npos) << log;
    EXPECT_EQ(log.find("GetDisplayName"), log.rfind("GetDisplayName")) << log;
}

TEST(hresult_message, drops_the_line_break_and_insert_markers_followed_by_a_space)
{
    const std::string not_found = hresult_message(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(not_found.empty() || not_found.find_first_of("\r\n") != std::string::npos) << not_found;
    EXPECT_EQ(hresult_message(static_cast<HRESULT>(0xDEADBEEF)), "Unknown HRESULT error.");
    // The system's text of this code carries "%1 " in the middle and "%2" at its end.
    const std::string markers = hresult_message(ERROR_MR_MID_NOT_FOUND);
    EXPECT_TRUE(markers.find("%1 ") == std::string::npos && markers.ends_with("%2.")) << markers;
}

TEST(canonical_path, resolves_to_the_plain_final_path_or_raises_a_filesystem_error)
{
    test_support::scratch_folder scratch;
    const std::wstring file = scratch.write("Sub\\a.txt", "x").wstring();
    const std::wstring canonical = canonical_path(file);
    EXPECT_FALSE(canonical.starts_with(L"\\\\?\\")) << canonical;
    EXPECT_EQ(canonical_path((scratch / "Sub\\..\\Sub\\a.txt").wstring()), canonical);
    EXPECT_EQ(canonical_path(L"\\\\?\\" + file), canonical);
    EXPECT_THROW(canonical_path((scratch / "missing").wstring()), std::filesystem::filesystem_error);
    EXPECT_EQ(without_long_path_prefix(L"\\\\?\\UNC\\server\\share\\a"), L"\\\\server\\share\\a");
    EXPECT_EQ(without_long_path_prefix(L"\\\\?\\Volume{0}\\a"), L"\\\\?\\Volume{0}\\a");
}
} // namespace
