#include "TagShellExtension/metadata/shell_paths.h"
#include "common/logger.h"
#include "support/fake_shell_items.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace
{
using namespace tag_extension;
using test_support::fake_selection;
using test_support::make_items;
using test_support::read_file;

// Sends the shared logger's lines to a scratch file for one test.
class captured_log
{
public:
    captured_log() : saved_(common::shared_logger())
    {
        common::shared_logger() = std::make_shared<common::plain_text_logger>();
        common::shared_logger()->open(file_.wstring());
    }
    ~captured_log() { common::shared_logger() = saved_; }
    std::string text() const { return read_file(file_); }

private:
    test_support::scratch_folder scratch_;
    std::filesystem::path file_ = scratch_ / "test.log";
    std::shared_ptr<common::plain_text_logger> saved_;
};

TEST(get_parsing_paths, keeps_array_order_and_skips_items_the_array_cannot_hand_out)
{
    captured_log log;
    EXPECT_TRUE(get_parsing_paths(nullptr).empty());
    EXPECT_TRUE(get_parsing_paths(make_items(std::vector<std::wstring>{}).Get()).empty());
    EXPECT_TRUE(get_parsing_paths(make_items(fake_selection{{L"C:\\a"}, true}).Get()).empty());
    const std::vector<std::wstring> paths{L"C:\\b", L"C:\\a", L"\\\\server\\share\\c"};
    EXPECT_EQ(get_parsing_paths(make_items(paths).Get()), paths);
    EXPECT_EQ(log.text(), "");
}

TEST(get_parsing_paths, an_unnamed_item_logs_one_error_and_throws_without_a_partial_list)
{
    captured_log log;
    const std::string expected =
        "GetDisplayName(SIGDN_DESKTOPABSOLUTEPARSING) failed with HRESULT -7FFFBFFB " +
        hresult_message(E_FAIL);
    try
    {
        get_parsing_paths(make_items(fake_selection{{L"C:\\a", L"C:\\b"}, false, true}).Get());
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_EQ(error.what(), expected);
    }
    const std::string text = log.text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_NE(text.find("] [ERROR] " + expected + "\n"), std::string::npos) << text;
}

TEST(hresult_message, drops_the_line_break_and_insert_markers_followed_by_a_space)
{
    const std::string not_found = hresult_message(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ASSERT_FALSE(not_found.empty());
    EXPECT_NE(not_found, "Unknown HRESULT error.");
    EXPECT_EQ(not_found.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(hresult_message(static_cast<HRESULT>(0xDEADBEEF)), "Unknown HRESULT error.");

    // The system's text of this code carries "%1 " in the middle and "%2" at its end.
    const std::string markers = hresult_message(ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(markers.find("%1 "), std::string::npos) << markers;
    EXPECT_TRUE(markers.ends_with("%2.")) << markers;
}

TEST(canonical_path, resolves_to_the_plain_final_path_or_raises_a_filesystem_error)
{
    test_support::scratch_folder scratch;
    const std::wstring file = scratch.write("Sub\\a.txt", "x").wstring();
    const std::wstring canonical = canonical_path(file);
    EXPECT_EQ(canonical.rfind(L"\\\\?\\", 0), std::wstring::npos) << canonical;
    EXPECT_EQ(canonical_path((scratch / "Sub\\..\\Sub\\a.txt").wstring()), canonical);
    EXPECT_EQ(canonical_path(L"\\\\?\\" + file), canonical);
    EXPECT_EQ(canonical_path((scratch / "Sub").wstring()) + L"\\a.txt", canonical);

    const std::wstring missing = (scratch / "missing").wstring();
    try
    {
        canonical_path(missing);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::filesystem::filesystem_error& error)
    {
        EXPECT_NE(std::string(error.what()).find("canonical"), std::string::npos);
        EXPECT_EQ(error.path1().wstring(), missing);
        EXPECT_EQ(error.code().value(), ERROR_FILE_NOT_FOUND);
    }

    const std::pair<std::wstring, std::wstring> forms[] = {
        {L"\\\\?\\C:\\a", L"C:\\a"},
        {L"\\\\?\\UNC\\server\\share\\a", L"\\\\server\\share\\a"},
        {L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume5\\a", L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume5\\a"},
        {L"\\\\?\\Volume{0}\\a", L"\\\\?\\Volume{0}\\a"},
    };
    for (const auto& [final, plain] : forms)
    {
        EXPECT_EQ(without_long_path_prefix(final), plain);
    }
}
} // namespace
