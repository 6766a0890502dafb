// The host program as a user runs it: its command line, and the menu it shows and draws.
#include "common/conversions.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using strings = std::vector<std::wstring>;

// Exit code, and what the host wrote to its standard output and to its standard error.
std::tuple<int, std::string, std::string> run_host(const test_support::scratch_folder& scratch,
                                                   const strings& args)
{
    // cmd drops the outer quotation marks. Enough quoting for our arguments: none ends in a
    // backslash or holds a quotation mark or a % sign.
    std::wstring command =
        L"\"\"" + (test_support::executable_folder() / L"tag_menu_host.exe").wstring() + L"\"";
    for (const auto& arg : args)
    {
        command += L" \"" + arg + L"\"";
    }
    const int exit_code = _wsystem((command + L" >\"" + (scratch / L"out").wstring() + L"\" 2>\"" +
                                    (scratch / L"err").wstring() + L"\"\"")
                                       .c_str());
    return {exit_code, test_support::read_file(scratch / L"out"), test_support::read_file(scratch / L"err")};
}

// The icon line that follows an entry's title in the output of show.
std::string icon_of(const std::string& out, const std::string& title)
{
    const size_t icon = out.find("icon: ", out.find("title: \"" + title + "\""));
    return icon == std::string::npos ? "(entry missing)"
                                     : out.substr(icon + 6, out.find_first_of("\r\n", icon) - icon - 6);
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
    }

    test_support::settings_override suite_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    test_support::scratch_folder scratch_;
    const std::wstring dll_ = (test_support::executable_folder() / L"TagShellExtension.dll").wstring();
    const std::wstring beach_ = scratch_.write(L"Beach.jpg", "\xff\xd8\xff\xe0 sample").wstring();
    const std::wstring sunset_ = scratch_.write(L"Summer\\Sunset.JPG", "\xff\xd8\xff\xe0 sample").wstring();
    const std::wstring notes_ = scratch_.write(L"notes.unknown-type", "x").wstring(); // hides the command
    // Both photos carry Holiday, only the beach Work. Paths match in any letter case; the option
    // also has an = form.
    const strings keywords_{L"--keywords", beach_ + L"=Work;Holiday",
                            L"--keywords=" + (scratch_ / L"SUMMER\\sunset.jpg").wstring() + L"=Holiday"};
};

TEST_F(tag_menu_host_test, bad_arguments_exit_2_and_a_dll_that_fails_1_with_one_line_on_stderr)
{
    const std::pair<strings, int> cases[] = {
        {{}, 2},
        {{L"paint", dll_, beach_}, 2},
        {{L"render", dll_, (scratch_ / L"menu.png").wstring()}, 2},
        {{L"show", (scratch_ / L"Missing.dll").wstring(), beach_}, 2},
        {{L"show", dll_, (scratch_ / L"gone.jpg").wstring()}, 2}, // Explorer never selects a missing item
        {{L"show", L"--colour", dll_, beach_}, 2},
        {{L"why", L"--dark", dll_, beach_}, 2},
        {{L"show", L"--keywords", L"no-equals-sign", dll_, beach_}, 2},
        {{L"invoke", dll_, L"No such entry", beach_}, 2},
        {{L"show", beach_, beach_}, 1},             // not a DLL
        {{L"invoke", dll_, L"Holiday", notes_}, 1}, // Explorer offers no entry of a hidden command
    };
    for (const auto& [args, expected] : cases)
    {
        const auto [exit_code, out, err] = run_host(scratch_, args);
        EXPECT_EQ(exit_code, expected) << args.size();
        EXPECT_TRUE(err.starts_with("tag_menu_host: ") && err.find('\n') == err.size() - 1) << err;
    }
}

TEST_F(tag_menu_host_test, show_marks_only_the_tags_every_selected_item_carries_in_the_chosen_theme)
{
    const std::wstring folder = (scratch_ / L"Summer").wstring();
    const std::tuple<const char*, strings, strings, bool> examples[] = {
        {"two files", keywords_, {beach_, sunset_}, true},
        {"a folder through the storage route",
         {L"--keywords", beach_ + L"=Holiday", L"--keywords", folder + L"\\=Holiday;Work"},
         {beach_, folder},
         true},
        {"an empty list",
         {L"--keywords", beach_ + L"=Holiday", L"--keywords=" + sunset_ + L"="},
         {beach_, sunset_},
         false},
        {"no stand-in: Wine gives no keywords", {L"--dark"}, {beach_, sunset_}, false},
    };
    for (const auto& [name, options, selection, holiday_tagged] : examples)
    {
        strings args{L"show"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(dll_);
        args.insert(args.end(), selection.begin(), selection.end());
        const auto [exit_code, out, err] = run_host(scratch_, args);
        ASSERT_EQ(exit_code, 0) << name << err;
        EXPECT_EQ(icon_of(out, "Holiday").ends_with("_generated-tagged.ico"), holiday_tagged) << name << out;
        EXPECT_TRUE(icon_of(out, "Work").ends_with("\\Content\\Icons\\tag_work.ico")) << name;
        EXPECT_TRUE(options.front() != L"--dark" || icon_of(out, "Tag").ends_with("tag_action_dark.ico"));
        // Flags by name; an entry without a canonical name shows none rather than zeros.
        EXPECT_TRUE(
            out.find("flags: has sub-commands  canonical name: {A2877438-9A16-4629-912A-1223B4E3B025}") !=
                std::string::npos &&
            out.find("{00000000-") == std::string::npos)
            << out;
    }
}

TEST_F(
    tag_menu_host_test,
    why_gives_every_reason_the_command_is_hidden_and_the_items_that_lack_each_tag_and_render_draws_what_show_lists)
{
    strings many;
    std::vector<std::string> pngs;
    for (int i = 0; i < 50; ++i)
    {
        many.push_back(scratch_.write(L"many\\" + std::to_wstring(i) + L".jpg", "x").wstring());
    }
    using common::to_utf8;
    const std::tuple<const char*, const char*, strings, std::vector<std::string>> rows[] = {
        {"{}",
         "enabled",
         {keywords_[0], keywords_[1], keywords_[2], beach_, sunset_},
         {"Tag command: shown; the first item, " + to_utf8(beach_) + ", is a \".jpg\" file",
          "\n  \"Holiday\": check-marked",
          "\n  \"Work\": not check-marked: " + to_utf8(sunset_) + " lacks it"}},
        {R"({"general": {"showTagContextMenu": false}})",
         "disabled",
         {notes_},
         {"Tag command: hidden, because:", "disable the owning app", "\"general.showTagContextMenu\" of",
          "unknown-type\" file; the command is shown only for folders and files of supported types",
          "Tag entries: none"}},
        {"{}",
         "enabled",
         many,
         {"none is check-marked: 50 items are selected; tags are read for at most 49",
          "Holiday\": not check-marked"}},
    };
    for (const auto& [settings, status, selection, expected] : rows)
    {
        suite_.write(test_support::suite_settings_json(settings, status));
        strings args{L"why", dll_};
        args.insert(args.end(), selection.begin(), selection.end());
        const auto [exit_code, out, err] = run_host(scratch_, args);
        EXPECT_EQ(exit_code, 0) << err;
        for (const auto& text : expected)
        {
            EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
        }
        // show agrees, and lists no cascade under a hidden command; render writes a whole picture of a
        // menu shown and none of a hidden one.
        const bool shown = out.find("Tag command: shown") != std::string::npos;
        args[0] = L"show";
        EXPECT_EQ(std::get<1>(run_host(scratch_, args)).find("title: \"Holiday\"") != std::string::npos,
                  shown);
        const auto png = (scratch_ / (L"menu" + std::to_wstring(pngs.size()) + L".png")).wstring();
        args[0] = L"render";
        args.insert(args.begin() + 2, png);
        EXPECT_EQ(std::get<0>(run_host(scratch_, args)), shown ? 0 : 1);
        pngs.push_back(test_support::read_file(png));
        EXPECT_EQ(fs::exists(png), shown);
        EXPECT_EQ(pngs.back().substr(0, 8), shown ? "\x89PNG\r\n\x1a\n" : "");
        EXPECT_FALSE(fs::exists(png + L".partial"));
    }
    EXPECT_NE(pngs[0], pngs[2]) << "no check mark drawn";
}
} // namespace
