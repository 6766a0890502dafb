// The cascade as Explorer pulls it: which entries in which order, the enumerator's rules, which
// tag entries show the check-marked icon, and what choosing an entry hands the companion
// stand-ins. Wine has no property store for files, so the stores come from a stand-in keyed by
// path; the installed memory is given too.
#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/tag_context_main_menu_item.h"
#include "TagShellExtension/tag_context_sub_menu_collection.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "support/companion_records.h"
#include "support/explorer_calls.h"
#include "support/fake_shell_items.h"
#include "support/keyword_store.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

namespace
{
using Microsoft::WRL::ComPtr;
using namespace tag_extension;
using strings = std::vector<std::wstring>;
using entries = std::vector<ComPtr<IExplorerCommand>>;

constexpr const char* no_people_entries = R"({"general": {"showAutoTagContextMenu": false},
    "people_recognition": {"show_recognize_faces_context_menu": false}})";
constexpr const char* consented = R"({"people_recognition": {"enabled": true, "consent_accepted": true}})";
// With no people entries: Holiday, Work, work, Say "cheese", All tags..., separator, Remove all tags.
constexpr const char* four_tags =
    R"({"tags": [{"name": "Holiday", "icon_not_tagged": "Content\\Icons\\tag_holiday.ico"},
    {"name": "Work", "icon_not_tagged": "Content\\Icons\\tag_work.ico", "icon_when_tagged": "x.ico"},
    {"name": "work"}, {"name": "Say \"cheese\""}]})";

struct fake_system
{
    static inline unsigned long long installed_gib = 8;
    static inline std::map<std::wstring, strings> tags;
    static inline std::atomic<int> opened{0};

    static HRESULT WINAPI open(PCWSTR path, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID iid, void** result)
    {
        ++opened;
        return test_support::open_keyword_store(tags.at(path), iid, result);
    }
};

// The action, its parameter and the paths a request names.
std::tuple<std::string, std::string, strings> read_request(const std::string& json)
{
    rapidjson::Document request;
    request.Parse(json);
    strings paths;
    for (const auto& file : request["files"].GetArray())
    {
        paths.push_back(common::to_wide(file["path"].GetString()));
    }
    return {request["job"]["action_type"].GetString(), request["job"]["action_parameters"].GetString(),
            paths};
}

// The title, or the icon shown for those items.
std::wstring text_of(const ComPtr<IExplorerCommand>& entry, bool icon, IShellItemArray* items = nullptr)
{
    PWSTR text = nullptr;
    const HRESULT hr = icon ? entry->GetIcon(items, &text) : entry->GetTitle(items, &text);
    return FAILED(hr) ? L"(failed)" : test_support::take(text);
}

class cascade : public testing::Test
{
protected:
    void SetUp() override
    {
        memory_functions().global_memory_status = [](LPMEMORYSTATUSEX status) -> BOOL
        { return status->ullTotalPhys = fake_system::installed_gib << 30, TRUE; };
        property_system_functions().get_property_store_from_parsing_name = &fake_system::open;
        people(no_people_entries);
        tags_.write(four_tags);
        fake_system::opened = 0;
        for (auto name : {batch_processor_name, tag_manager_name, main_application_name})
        {
            test_support::take_companion_records(name);
        }
    }
    void TearDown() override
    {
        memory_functions() = saved_memory_;
        property_system_functions() = saved_stores_;
        forget_installed_memory_for_testing();
    }

    void people(std::string_view settings, std::string_view status = "enabled")
    {
        settings_.write(test_support::suite_settings_json("{}", status, settings));
    }

    entries open_cascade() { return test_support::open_cascade(command_.Get()); }

    ComPtr<IExplorerCommand> entry(const std::wstring& title)
    {
        auto found = test_support::find_entry(command_.Get(), title);
        EXPECT_TRUE(found) << common::to_utf8(title);
        return found;
    }

    HRESULT choose(const std::wstring& title, const strings& paths)
    {
        const auto chosen = entry(title);
        return chosen ? chosen->Invoke(test_support::make_items(paths).Get(), nullptr) : E_FAIL;
    }

    std::wstring file(const char* name) { return scratch_.write(name, "x").wstring(); }

    ComPtr<IShellItemArray> files(std::vector<strings> tags_per_file)
    {
        strings paths;
        for (auto& tags : tags_per_file)
        {
            paths.push_back(file((std::to_string(paths.size()) + ".jpg").c_str()));
            fake_system::tags[paths.back()] = std::move(tags);
        }
        return test_support::make_items(paths);
    }

    const memory_api saved_memory_ = memory_functions();
    const property_system_api saved_stores_ = property_system_functions();
    test_support::settings_override settings_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    test_support::scratch_folder scratch_;
    com_ptr<tag_context_main_menu_item> command_ = make_object<tag_context_main_menu_item>();
};

TEST_F(cascade, lists_auto_tag_from_six_gib_with_its_setting_recognize_faces_nine_tags_then_the_fixed_entries)
{
    std::string tags;
    strings nine;
    for (int i = 1; i <= 12; ++i)
    {
        tags += fmt::format(R"({}{{"name": "Tag {}"}})", i == 1 ? "" : ",", i);
        nine.push_back(L"Tag " + std::to_wstring(i));
    }
    nine.resize(9);
    tags_.write(R"({"tags": [)" + tags + "]}");
    const std::tuple<int, bool, bool, strings> rows[] = {
        {6, true, true, {L"Auto tag", L"Recognize faces"}},
        {4, true, true, {L"Recognize faces"}},
        {8, false, true, {L"Recognize faces"}},
        {8, true, false, {L"Auto tag"}},
    };
    for (auto [gib, auto_tag, recognize, expected] : rows)
    {
        fake_system::installed_gib = gib;
        forget_installed_memory_for_testing();
        people(fmt::format(R"({{"general": {{"showAutoTagContextMenu": {}}}, "people_recognition": )"
                           R"({{"show_recognize_faces_context_menu": {}}}}})",
                           auto_tag, recognize));
        expected.insert(expected.end(), nine.begin(), nine.end());
        expected.insert(expected.end(), {L"All tags...", L"", L"Remove all tags"});
        strings titles;
        for (const auto& entry : open_cascade())
        {
            titles.push_back(text_of(entry, false));
        }
        EXPECT_EQ(titles, expected) << gib << auto_tag << recognize;
    }
    tags_.write("[1, 2, 3]");
    EXPECT_EQ(open_cascade().size(), 1u);
    EXPECT_EQ(text_of(open_cascade().at(0), false), L"Failed to load tags");
}

TEST_F(cascade, next_hands_out_each_entry_into_its_own_slot_and_reset_rewinds)
{
    ComPtr<IEnumExplorerCommand> commands;
    ASSERT_EQ(command_->EnumSubCommands(&commands), S_OK);
    IExplorerCommand* slots[8] = {};
    ULONG fetched = 99;
    EXPECT_EQ(commands->Next(0, slots, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(commands->Next(3, slots, &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    EXPECT_TRUE(slots[0] && slots[1] && slots[2] && slots[0] != slots[1] && slots[1] != slots[2]);
    EXPECT_EQ(commands->Next(5, slots + 3, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 4u);
    EXPECT_EQ(commands->Next(1, slots + 7, nullptr), S_FALSE);
    EXPECT_EQ(commands->Reset(), S_OK);
    ComPtr<IExplorerCommand> again;
    EXPECT_EQ(commands->Next(1, &again, nullptr), S_OK);
    EXPECT_EQ(again.Get(), slots[0]);
    std::for_each(slots, slots + 7, [](IExplorerCommand* entry) { entry->Release(); });
}

TEST_F(cascade, only_tags_of_the_whole_selection_get_the_check_mark_and_a_selection_is_read_once_per_cascade)
{
    const auto items = files({{L"Holiday", L"Work", L"Say \"cheese\""}, {L"work", L"Holiday", L"Work"}});
    const auto shown = open_cascade();
    EXPECT_TRUE(text_of(shown[0], true, items.Get()).ends_with(L"_generated-tagged.ico"));
    EXPECT_TRUE(text_of(shown[1], true, items.Get()).ends_with(L"_generated-tagged.ico"));
    // "work" lacks an icon and the first file lacks "work"; Say "cheese" is only on the first file.
    EXPECT_EQ(text_of(shown[2], true, items.Get()), L"");
    EXPECT_EQ(text_of(shown[3], true, items.Get()), L"");
    EXPECT_EQ(fake_system::opened, 2);
    // A new opening of the cascade reads the selection again.
    EXPECT_EQ(text_of(open_cascade()[3], true, items.Get()), L"");
    EXPECT_EQ(fake_system::opened, 4);

    // An unreadable selection leaves every entry untagged, with one log line for the cascade.
    const auto unreadable = test_support::make_items({{file("a.jpg")}, false, true});
    const test_support::log_mark mark;
    const auto again = open_cascade();
    const auto icons = common::module_folder() / L"Content" / L"Icons";
    EXPECT_EQ(text_of(again[0], true, unreadable.Get()), (icons / L"tag_holiday.ico").wstring());
    EXPECT_EQ(text_of(again[1], true, unreadable.Get()), (icons / L"tag_work.ico").wstring());
    const std::string log = mark.new_text();
    EXPECT_NE(log.find("[ERROR] Failed to obtain tags from: . Details: GetDisplayName"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("Failed to obtain tags", log.find("Failed to obtain tags") + 1), std::string::npos);
    EXPECT_EQ(fake_system::opened, 4);
}

TEST_F(cascade, concurrent_icon_requests_fill_each_cascade_once)
{
    const auto items = files({{L"Holiday"}, {L"Holiday"}});
    constexpr int threads_count = 8, rounds = 1000;
    std::vector<entries> shown;
    std::generate_n(std::back_inserter(shown), rounds, [&] { return open_cascade(); });
    std::vector<std::atomic<int>> arrived(rounds);
    std::atomic<int> wrong{0};
    const auto walk = [&](size_t start)
    {
        for (int round = 0; round < rounds; ++round)
        {
            // All threads meet at each cascade, then walk its tag entries from different starts.
            for (++arrived[round]; arrived[round] < threads_count;)
            {
                std::this_thread::yield();
            }
            for (size_t i = start; i < start + 4; ++i)
            {
                wrong +=
                    text_of(shown[round][i % 4], true, items.Get()).ends_with(L"-tagged.ico") != (i % 4 == 0);
            }
        }
    };
    {
        const std::jthread threads[threads_count] = {
            std::jthread(walk, 0), std::jthread(walk, 1), std::jthread(walk, 2), std::jthread(walk, 3),
            std::jthread(walk, 4), std::jthread(walk, 5), std::jthread(walk, 6), std::jthread(walk, 7)};
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(fake_system::opened, 2 * rounds);
}

TEST_F(cascade, each_entry_hands_its_companion_its_action_and_the_selection_in_order)
{
    people("{}");
    const strings selection{file("a.jpg"), file("b c.png"), file("3.txt")};
    const std::tuple<const wchar_t*, std::wstring_view, const char*, const char*> rows[] = {
        {L"Say \"cheese\"", batch_processor_name, "toggle_tags", R"(Say "cheese")"},
        {L"Remove all tags", batch_processor_name, "remove_tags", ""},
        {L"Auto tag", batch_processor_name, "auto_tag", ""},
        {L"All tags...", tag_manager_name, "toggle_tags", ""},
    };
    for (const auto& [title, companion, action, parameters] : rows)
    {
        ASSERT_EQ(choose(title, selection), S_OK);
        const auto records = test_support::wait_for_companion_records(companion);
        ASSERT_EQ(records.size(), 1u) << action;
        // The tag manager is given the definitions before the request; the request stays for the companion.
        const strings expected = companion == tag_manager_name
                                     ? strings{tags_.path().wstring(), records[0].file}
                                     : strings{records[0].file};
        int count = 0;
        LPWSTR* arguments = CommandLineToArgvW((L"p " + records[0].arguments).c_str(), &count);
        EXPECT_EQ(strings(arguments + 1, arguments + count), expected);
        LocalFree(arguments);
        EXPECT_TRUE(std::filesystem::exists(records[0].file));
        EXPECT_EQ(read_request(records[0].content), std::tuple(action, parameters, selection));
    }
}

TEST_F(cascade, all_tags_without_a_definitions_file_launches_nothing_and_logs_the_paths)
{
    const auto a = file("a.jpg");
    auto all_tags = entry(L"All tags...");
    ASSERT_TRUE(all_tags);
    tags_.remove();
    const auto temp = scratch_ / L"temp";
    std::filesystem::create_directories(temp);
    wchar_t saved_temp[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TMP", saved_temp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    const test_support::log_mark mark;
    EXPECT_EQ(all_tags->Invoke(test_support::make_items({a}).Get(), nullptr), S_FALSE);
    SetEnvironmentVariableW(L"TMP", saved_temp);
    EXPECT_TRUE(std::filesystem::is_empty(temp));
    EXPECT_TRUE(test_support::take_companion_records(tag_manager_name).empty());
    EXPECT_NE(
        mark.new_text().find("[ERROR] Failed to append tags for files: " + common::to_utf8(a) + ". Details "),
        std::string::npos);
}

TEST_F(cascade,
       recognize_faces_opens_the_people_page_without_consent_or_owning_app_else_sends_the_images_found)
{
    const auto notes = file("notes.txt");
    people(consented);
    // A disabled owning app hides the entry, so it is taken from an opening before that.
    auto recognize = entry(L"Recognize faces");
    ASSERT_TRUE(recognize);
    for (auto [settings, status] :
         {std::pair{R"({"people_recognition": {"enabled": true}})", "enabled"}, {consented, "disabled"}})
    {
        people(settings, status);
        ASSERT_EQ(recognize->Invoke(test_support::make_items({notes}).Get(), nullptr), S_OK);
        const auto records = test_support::wait_for_companion_records(main_application_name);
        ASSERT_EQ(records.size(), 1u) << status;
        EXPECT_EQ(records[0].arguments, L"--open-tab=people-management");
        EXPECT_TRUE(test_support::take_companion_records(batch_processor_name).empty());
    }

    people(consented);
    EXPECT_EQ(choose(L"Recognize faces", {notes, file(".png")}), S_FALSE);
    // Folders are walked to their depth; a missing file counts by its name.
    const auto dinner = scratch_.write("Trip\\Day 2\\Dinner.HEIC", "x").wstring();
    scratch_.write("Trip/list.txt", "x");
    const auto missing = (scratch_ / L"gone.webp").wstring();
    ASSERT_EQ(choose(L"Recognize faces", {(scratch_ / L"Trip").wstring(), notes, missing}), S_OK);
    const auto records = test_support::wait_for_companion_records(batch_processor_name);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(read_request(records[0].content), std::tuple("recognize_faces", "", strings{dinner, missing}));
}
} // namespace
