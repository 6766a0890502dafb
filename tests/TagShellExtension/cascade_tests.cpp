// The cascade as Explorer pulls it: which entries in which order, the enumerator's rules, which
// tag entries show the check-marked icon, and what choosing an entry hands the companion
// stand-ins. Wine has no property store for files, so the stores come from a stand-in keyed by
// path; the installed memory is given too.
#include "TagShellExtension/installed_memory.h"
#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/tag_context_main_menu_item.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "common/unique_resources.h"
#include "support/companion_records.h"
#include "support/explorer_calls.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"
#include "tools/explorer_driver/keyword_store.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>

namespace
{
using Microsoft::WRL::ComPtr;
using namespace tag_extension;
using test_support::make_items;
using strings = std::vector<std::wstring>;

constexpr const char* consented = R"({"people_recognition": {"enabled": true, "consent_accepted": true}})";

// The action, its parameter and the paths a request names.
std::tuple<std::string, std::string, strings> read_request(const std::string& json)
{
    rapidjson::Document request;
    request.Parse(json);
    strings paths;
    std::ranges::transform(request["files"].GetArray(), std::back_inserter(paths),
                           [](const auto& file) { return common::to_wide(file["path"].GetString()); });
    const auto& job = request["job"];
    return {job["action_type"].GetString(), job["action_parameters"].GetString(), paths};
}

// Runs a Unix shell command in a folder and waits until `watched` exists or not, as told: Wine
// starts Unix programs like any other, but hands back no handle to wait on.
void unix_shell(const std::filesystem::path& folder, const std::wstring& script,
                const std::filesystem::path& watched, bool exists)
{
    std::wstring line = L"sh -c \"" + script + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    common::unique_process_information process;
    CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                   &process);
    for (int wait = 0; wait < 100 && std::filesystem::exists(watched) != exists; ++wait, Sleep(20))
    {
    }
}

class cascade : public testing::Test
{
protected:
    static inline unsigned long long installed_gib = 8;
    static inline std::map<std::wstring, strings> tags_of;
    static inline std::atomic<int> opened{0};

    void SetUp() override
    {
        people(R"({"general": {"showAutoTagContextMenu": false},
            "people_recognition": {"show_recognize_faces_context_menu": false}})");
        // With no people entries: Holiday, Work, work, Say "cheese", All tags..., separator, Remove all tags.
        tags_.write(R"({"tags": [{"name": "Holiday", "icon_not_tagged": "Content\\Icons\\tag_holiday.ico"},
            {"name": "Work", "icon_not_tagged": "Content\\Icons\\tag_work.ico", "icon_when_tagged": "x.ico"},
            {"name": "work", "icon_not_tagged": "Content\\Icons\\tag_family.ico"},
            {"name": "Say \"cheese\"", "icon_not_tagged": "Content\\Icons\\tag_important.ico"}]})");
        opened = 0;
    }
    void TearDown() override { forget_installed_memory_for_testing(); }

    void people(std::string_view settings, std::string_view status = "enabled")
    {
        settings_.write(test_support::suite_settings_json("{}", status, settings));
    }

    // The titles of a new cascade, or the icons its entries show for those items.
    strings texts(bool icons = false, IShellItemArray* items = nullptr)
    {
        strings texts;
        for (const auto& entry : explorer_driver::read_cascade(command_.Get(), items))
        {
            const bool failed = FAILED(icons ? entry.icon_result : entry.title_result);
            texts.push_back(failed ? L"(failed)" : icons ? entry.icon : entry.title);
        }
        return texts;
    }

    // A file the fake property system reads those tags from.
    std::wstring file(const char* name, strings tags = {})
    {
        const auto path = scratch_.write(name, "x").wstring();
        tags_of[path] = std::move(tags);
        return path;
    }

    const test_support::scoped_seam<memory_api> memory_{
        memory_functions(),
        {[](LPMEMORYSTATUSEX status) -> BOOL { return status->ullTotalPhys = installed_gib << 30, TRUE; }}};
    const test_support::scoped_seam<property_system_api> property_system_{
        property_system_functions(),
        {.get_property_store_from_parsing_name = [](PCWSTR path, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID iid,
                                                    void** result) -> HRESULT
         { return ++opened, explorer_driver::open_keyword_store(tags_of.at(path), iid, result); }}};
    test_support::settings_override settings_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    test_support::scratch_folder scratch_;
    // A fresh folder per test: a late start of an earlier test cannot be taken for this one's.
    test_support::environment_override records_{L"TAG_COMPANION_RECORDS", (scratch_ / L"records").wstring()};
    com_ptr<tag_context_main_menu_item> command_ = make_object<tag_context_main_menu_item>();
};

TEST_F(cascade, lists_auto_tag_from_six_gib_with_its_setting_recognize_faces_nine_tags_then_the_fixed_entries)
{
    // Unsorted: a cascade that sorted would show Tag 10 second.
    tags_.write(R"({"tags": [{"name": "Tag 1"}, {"name": "Tag 2"}, {"name": "Tag 3"}, {"name": "Tag 4"},
        {"name": "Tag 5"}, {"name": "Tag 6"}, {"name": "Tag 7"}, {"name": "Tag 8"}, {"name": "Tag 9"},
        {"name": "Tag 10"}, {"name": "Tag 11"}, {"name": "Tag 12"}]})");
    const strings tail{L"Tag 1", L"Tag 2", L"Tag 3", L"Tag 4",       L"Tag 5", L"Tag 6",
                       L"Tag 7", L"Tag 8", L"Tag 9", L"All tags...", L"",      L"Remove all tags"};
    const std::tuple<int, bool, bool, strings> rows[] = {
        {6, true, true, {L"Auto tag", L"Recognize faces"}},
        {4, true, true, {L"Recognize faces"}},
        {8, false, true, {L"Recognize faces"}},
        {8, true, false, {L"Auto tag"}},
    };
    for (auto [gib, auto_tag, recognize, expected] : rows)
    {
        installed_gib = gib;
        forget_installed_memory_for_testing();
        people(fmt::format(R"({{"general": {{"showAutoTagContextMenu": {}}}, "people_recognition": )"
                           R"({{"show_recognize_faces_context_menu": {}}}}})",
                           auto_tag, recognize));
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(texts(), expected) << gib << auto_tag << recognize;
    }
    tags_.write("[1, 2, 3]");
    EXPECT_EQ(texts(), strings{L"Failed to load tags"});
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

TEST_F(cascade, only_tags_every_selected_item_carries_are_check_marked_and_an_unreadable_selection_logs_once)
{
    const auto items = make_items({file("0.jpg", {L"Holiday", L"Work", L"Say \"cheese\""}),
                                   file("1.jpg", {L"work", L"Holiday", L"Work"})});
    // An unreadable selection leaves every entry untagged, with one log line for the cascade.
    const test_support::log_mark mark;
    const auto untagged = texts(true, make_items({{file("a.jpg")}, false, true}).Get());
    const auto folder = common::module_folder() / L"Content" / L"Icons";
    EXPECT_EQ(strings(untagged.begin(), untagged.begin() + 2),
              (strings{(folder / L"tag_holiday.ico").wstring(), (folder / L"tag_work.ico").wstring()}));
    // "work" differs from "Work" in case only, and Say "cheese" is on the first file only.
    const auto icons = texts(true, items.Get());
    EXPECT_TRUE(icons[0].ends_with(L"_generated-tagged.ico") && icons[1].ends_with(L"_generated-tagged.ico"));
    EXPECT_EQ(strings(icons.begin() + 2, icons.begin() + 4),
              strings(untagged.begin() + 2, untagged.begin() + 4));
    EXPECT_TRUE(untagged[2].ends_with(L"\\tag_family.ico") && untagged[3].ends_with(L"\\tag_important.ico"));
    const std::string log = mark.new_text();
    EXPECT_NE(log.find("[ERROR] Failed to obtain tags from: . Details: GetDisplayName"), log.npos) << log;
    EXPECT_EQ(log.find("Failed to obtain tags"), log.rfind("Failed to obtain tags"));
}

TEST_F(cascade, concurrent_icon_requests_fill_each_cascade_once)
{
    const auto items = make_items({file("0.jpg", {L"Holiday"}), file("1.jpg", {L"Holiday"})});
    constexpr int rounds = 1000;
    std::vector<std::vector<ComPtr<IExplorerCommand>>> shown;
    std::generate_n(std::back_inserter(shown), rounds,
                    [&] { return test_support::open_cascade(command_.Get()); });
    std::vector<std::atomic<int>> arrived(rounds);
    std::atomic<int> wrong{0};
    const auto walk = [&](size_t start)
    {
        for (int round = 0; round < rounds; ++round)
        {
            // All threads meet at each cascade, then walk its tag entries from different starts.
            for (++arrived[round]; arrived[round] < 8;)
            {
                std::this_thread::yield();
            }
            for (size_t i = start; i < start + 4; ++i)
            {
                const auto icon = explorer_driver::take_string(
                    [&](PWSTR* text) { return shown[round][i % 4]->GetIcon(items.Get(), text); });
                wrong += icon.ends_with(L"-tagged.ico") != (i % 4 == 0);
            }
        }
    };
    {
        const std::jthread t0(walk, 0), t1(walk, 1), t2(walk, 2), t3(walk, 3), t4(walk, 4), t5(walk, 5),
            t6(walk, 6), t7(walk, 7);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(opened, 2 * rounds);
}

TEST_F(cascade, each_entry_hands_its_companion_its_action_and_the_selection_and_all_tags_needs_its_file)
{
    people("{}");
    const strings selection{file("a.jpg"), file("b c.png"), file("3.txt")};
    const std::tuple<const wchar_t*, std::wstring_view, const char*, const char*> rows[] = {
        {L"Say \"cheese\"", batch_processor_name, "toggle_tags", R"(Say "cheese")"},
        {L"Remove all tags", batch_processor_name, "remove_tags", ""},
        {L"Auto tag", batch_processor_name, "auto_tag", ""},
        {L"All tags...", tag_manager_name, "toggle_tags", ""},
    };
    ComPtr<IExplorerCommand> chosen; // ends as All tags...
    for (const auto& [title, companion, action, parameters] : rows)
    {
        chosen = test_support::find_entry(command_.Get(), title);
        ASSERT_TRUE(chosen);
        ASSERT_EQ(chosen->Invoke(make_items(selection).Get(), nullptr), S_OK);
        const auto records = test_support::wait_for_companion_records(companion);
        ASSERT_EQ(records.size(), 1u) << action;
        // Its argument text is pinned by the launching tests; the request stays for the companion.
        EXPECT_TRUE(std::filesystem::exists(records[0].file));
        EXPECT_EQ(read_request(records[0].content), std::tuple(action, parameters, selection));
    }

    // Without a definitions file All tags... leaves no request, starts nothing and logs the paths.
    tags_.remove();
    const auto temp = scratch_ / L"temp";
    std::filesystem::create_directories(temp);
    const test_support::environment_override tmp(L"TMP", temp.wstring());
    const test_support::log_mark mark;
    EXPECT_EQ(chosen->Invoke(make_items({selection[0]}).Get(), nullptr), S_FALSE);
    EXPECT_TRUE(std::filesystem::is_empty(temp));
    EXPECT_TRUE(test_support::take_companion_records(tag_manager_name).empty());
    EXPECT_PRED_FORMAT2(testing::IsSubstring,
                        "[ERROR] Failed to append tags for files: " + common::to_utf8(selection[0]) +
                            ". Details ",
                        mark.new_text());
}

TEST_F(cascade,
       recognize_faces_opens_the_people_page_without_consent_or_owning_app_else_sends_the_images_found)
{
    const auto notes = file("notes.txt");
    people(consented);
    // A disabled owning app hides the entry, so it is taken from an opening before that.
    const auto recognize = test_support::find_entry(command_.Get(), L"Recognize faces");
    ASSERT_TRUE(recognize);
    for (auto [settings, status] :
         {std::pair{R"({"people_recognition": {"enabled": true}})", "enabled"}, {consented, "disabled"}})
    {
        people(settings, status);
        ASSERT_EQ(recognize->Invoke(make_items({notes}).Get(), nullptr), S_OK);
        // Its argument text is pinned by the launching tests.
        EXPECT_EQ(test_support::wait_for_companion_records(main_application_name).size(), 1u) << status;
        EXPECT_TRUE(test_support::take_companion_records(batch_processor_name).empty());
    }

    people(consented);
    EXPECT_EQ(recognize->Invoke(make_items({notes, file(".png")}).Get(), nullptr), S_FALSE);
    // Folders are walked to their depth, but no link in them is entered: one to a folder outside
    // the selection, one to its own folder, two that lead to each other. A missing file counts by its name.
    const auto dinner = file("Trip\\A\\Dinner.HEIC");
    file("Trip/list.txt");
    file("Trip/B/x.txt");
    file("Elsewhere/Away.png");
    // Wine's CreateSymbolicLinkW makes nothing and its calls cannot remove a Unix link.
    const auto trip = scratch_ / L"Trip";
    const auto last_link = trip / L"B\\a";
    unix_shell(trip, L"ln -s ../Elsewhere outside; ln -s . self; ln -s ../B A/b; ln -s ../A B/a", last_link,
               true);
    const std::shared_ptr<void> unlinked(nullptr, [&](void*)
                                         { unix_shell(trip, L"rm outside self A/b B/a", last_link, false); });
    ASSERT_TRUE(std::filesystem::exists(last_link));
    const auto missing = (scratch_ / L"gone.webp").wstring();
    const auto selection = make_items({trip.wstring(), notes, missing});
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(recognize->Invoke(selection.Get(), nullptr), S_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    const auto records = test_support::wait_for_companion_records(batch_processor_name);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(read_request(records[0].content), std::tuple("recognize_faces", "", strings{dinner, missing}));
}
} // namespace
