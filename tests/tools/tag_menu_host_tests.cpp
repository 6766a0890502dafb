// The host program as a user runs it: its command line, and the menu it shows and draws.
#include "TagShellExtension/icons/tagged_icon.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using namespace Gdiplus;
using namespace Gdiplus::DllExports;

struct host_run
{
    DWORD exit_code = 0;
    std::string out;
    std::string err;
};

std::wstring quoted(const std::wstring& arg)
{
    // Enough for our arguments: none ends in a backslash or holds a quote.
    return L"\"" + arg + L"\"";
}

HANDLE inheritable_file(const fs::path& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
}

host_run run_host(const test_support::scratch_folder& scratch, const std::vector<std::wstring>& args)
{
    std::wstring command = quoted((test_support::executable_folder() / L"tag_menu_host.exe").wstring());
    for (const auto& arg : args)
    {
        command += L" " + quoted(arg);
    }
    const fs::path out_path = scratch / L"out.txt", err_path = scratch / L"err.txt";
    HANDLE out = inheritable_file(out_path), err = inheritable_file(err_path);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    host_run result{~0UL, {}, {}};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process))
    {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &result.exit_code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    result.out = test_support::read_file(out_path);
    result.err = test_support::read_file(err_path);
    return result;
}

size_t line_count(const std::string& text)
{
    size_t lines = 0;
    for (char c : text)
    {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

// The icon line that follows an entry's title in the output of show.
std::string icon_of(const std::string& out, const std::string& title)
{
    const size_t entry = out.find("title: \"" + title + "\"");
    const size_t icon = out.find("icon: ", entry);
    if (entry == std::string::npos || icon == std::string::npos)
    {
        return "(entry missing)";
    }
    return out.substr(icon + 6, out.find_first_of("\r\n", icon) - icon - 6);
}

class tag_menu_host_test : public testing::Test
{
protected:
    void SetUp() override
    {
        suite_.write(test_support::suite_settings_json(R"({"general": {"showTagContextMenu": true}})"));
        tags_.write(R"({"version": "1.0", "tags": [
            {"name": "Holiday", "icon_not_tagged": "Content\\Icons\\tag_holiday.ico"},
            {"name": "Work", "icon_not_tagged": "Content\\Icons\\tag_work.ico"}]})");
        beach_ = scratch_.write(L"Beach.jpg", "\xff\xd8\xff\xe0 sample").wstring();
        sunset_ = scratch_.write(L"Summer\\Sunset.JPG", "\xff\xd8\xff\xe0 sample").wstring();
    }

    // Both photos carry Holiday; only the beach carries Work. The second path is spelled in
    // other letter cases, as Windows paths may be, and given in the option's = form.
    std::vector<std::wstring> keywords() const
    {
        std::wstring sunset_upper = sunset_;
        CharUpperW(sunset_upper.data());
        return {L"--keywords", beach_ + L"=Work;Holiday", L"--keywords=" + sunset_upper + L"=Holiday"};
    }

    std::wstring dll() const
    {
        return (test_support::executable_folder() / L"TagShellExtension.dll").wstring();
    }

    test_support::settings_override suite_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    test_support::scratch_folder scratch_;
    std::wstring beach_, sunset_;
};

TEST_F(tag_menu_host_test, help_exits_0_and_names_every_subcommand)
{
    const auto run = run_host(scratch_, {L"--help"});
    EXPECT_EQ(run.exit_code, 0u);
    for (const char* word : {"show", "render", "invoke", "--keywords", "--dark"})
    {
        EXPECT_NE(run.out.find(word), std::string::npos) << word;
    }
}

TEST_F(tag_menu_host_test, bad_arguments_exit_2_with_one_line_on_stderr)
{
    const std::wstring missing_dll = (scratch_ / L"Missing.dll").wstring();
    const std::wstring png = (scratch_ / L"menu.png").wstring();
    const std::vector<std::vector<std::wstring>> cases = {
        {},
        {L"paint", dll(), beach_},
        {L"show"},
        {L"show", dll()},
        {L"render", dll(), png},
        {L"invoke", dll()},
        {L"show", missing_dll, beach_},
        {L"show", beach_, beach_},                            // not a DLL
        {L"show", dll(), (scratch_ / L"gone.jpg").wstring()}, // Explorer never selects a missing item
        {L"show", L"--colour", dll(), beach_},
        {L"show", L"--keywords", L"no-equals-sign", dll(), beach_},
        {L"show", dll(), beach_, L"--keywords"},
        {L"invoke", L"--dark", dll(), L"Holiday", beach_},
        {L"invoke", dll(), L"No such entry", beach_},
    };
    for (const auto& args : cases)
    {
        const auto run = run_host(scratch_, args);
        std::wstring shown;
        for (const auto& arg : args)
        {
            shown += arg + L" ";
        }
        EXPECT_EQ(run.exit_code, 2u) << testing::PrintToString(shown);
        EXPECT_EQ(line_count(run.err), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("tag_menu_host: ", 0), 0u) << run.err;
    }
}

TEST_F(tag_menu_host_test, keyword_stand_in_marks_only_the_tags_every_selected_item_carries)
{
    const std::wstring folder = (scratch_ / L"Summer").wstring();
    std::wstring sunset_upper = sunset_;
    CharUpperW(sunset_upper.data()); // Windows paths match in any letter case
    struct example
    {
        const char* name;
        std::vector<std::wstring> args;
        bool holiday_tagged;
    };
    const std::vector<example> examples = {
        {"two files", keywords(), true},
        {"a folder through the storage route",
         {L"--keywords", beach_ + L"=Holiday", L"--keywords", folder + L"\\=Holiday;Work", dll(), beach_,
          folder},
         true},
        {"an empty list", {L"--keywords", beach_ + L"=Holiday", L"--keywords=" + sunset_upper + L"="}, false},
        {"no stand-in: Wine gives no keywords", {}, false},
    };
    for (const auto& e : examples)
    {
        std::vector<std::wstring> args{L"show"};
        args.insert(args.end(), e.args.begin(), e.args.end());
        if (std::find(args.begin(), args.end(), dll()) == args.end())
        {
            args.insert(args.end(), {dll(), beach_, sunset_});
        }
        const auto run = run_host(scratch_, args);
        ASSERT_EQ(run.exit_code, 0u) << e.name << run.err;
        EXPECT_EQ(run.out.find("note: System.Keywords supplied by tag_menu_host's stand-in") !=
                      std::string::npos,
                  !e.args.empty())
            << e.name;
        EXPECT_EQ(icon_of(run.out, "Holiday").ends_with("_generated-tagged.ico"), e.holiday_tagged)
            << e.name << "\n"
            << run.out;
        EXPECT_TRUE(icon_of(run.out, "Work").ends_with("\\Content\\Icons\\tag_work.ico"))
            << e.name << run.out;
    }
}

TEST_F(tag_menu_host_test, dark_makes_the_extension_read_the_dark_theme)
{
    const auto dark = run_host(scratch_, {L"show", L"--dark", dll(), beach_});
    EXPECT_TRUE(icon_of(dark.out, "Tag").ends_with("tag_action_dark.ico")) << dark.out;
    EXPECT_NE(dark.out.find("note: AppsUseLightTheme=0"), std::string::npos);
}

// Pixels of a PNG, row by row, with its width; empty when it cannot be read.
std::pair<std::vector<ARGB>, UINT> pixels(const fs::path& png)
{
    const auto bitmap = tag_extension::load_bitmap(png.wstring());
    UINT width = 0, height = 0;
    if (!bitmap || GdipGetImageWidth(bitmap.get(), &width) != Ok ||
        GdipGetImageHeight(bitmap.get(), &height) != Ok)
    {
        return {};
    }
    std::vector<ARGB> result(static_cast<size_t>(width) * height);
    for (UINT y = 0; y < height; ++y)
    {
        for (UINT x = 0; x < width; ++x)
        {
            GdipBitmapGetPixel(bitmap.get(), static_cast<INT>(x), static_cast<INT>(y),
                               &result[y * width + x]);
        }
    }
    return {result, width};
}

TEST_F(tag_menu_host_test, render_draws_the_check_marked_icon_in_place_of_the_plain_one_only)
{
    std::vector<fs::path> pngs;
    for (const auto& options : std::vector<std::vector<std::wstring>>{{}, keywords(), {L"--dark"}})
    {
        pngs.push_back(scratch_ / (L"menu" + std::to_wstring(pngs.size()) + L".png"));
        std::vector<std::wstring> args{L"render", dll(), pngs.back().wstring()};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {beach_, sunset_});
        const auto run = run_host(scratch_, args);
        EXPECT_EQ(run.exit_code, 0u) << run.err;
        EXPECT_EQ(test_support::read_file(pngs.back()).substr(0, 8), "\x89PNG\r\n\x1a\n");
        EXPECT_FALSE(fs::exists(pngs.back().wstring() + L".partial"));
    }
    tag_extension::gdiplus_session gdiplus;
    const auto [plain, width] = pixels(pngs[0]);
    const auto [tagged, tagged_width] = pixels(pngs[1]);
    ASSERT_FALSE(plain.empty());
    ASSERT_EQ(plain.size(), tagged.size());
    // Only the Holiday entry's icon changes: every differing pixel lies in one 16 px square.
    UINT left = width, top = UINT(-1), right = 0, bottom = 0;
    for (size_t i = 0; i < plain.size(); ++i)
    {
        if (plain[i] != tagged[i])
        {
            const auto x = static_cast<UINT>(i % width), y = static_cast<UINT>(i / width);
            left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
            bottom = std::max(bottom, y);
        }
    }
    ASSERT_LE(left, right) << "nothing changed";
    EXPECT_LT(right - left, 16u);
    EXPECT_LT(bottom - top, 16u);
    EXPECT_NE(pixels(pngs[2]).first, plain) << "--dark draws the dark theme";

    // A selection for which the command is hidden gives nothing to draw, and no file.
    const fs::path notes = scratch_.write(L"notes.unknown-type", "x");
    const auto hidden =
        run_host(scratch_, {L"render", dll(), (scratch_ / L"hidden.png").wstring(), notes.wstring()});
    EXPECT_EQ(hidden.exit_code, 1u);
    EXPECT_FALSE(fs::exists(scratch_ / L"hidden.png"));
}
} // namespace
