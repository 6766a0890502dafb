// Tag entries of one cascade: which show the check-marked icon, and how often the selection
// is read. Wine has no property store for files, so the stores come from a stand-in keyed by path.
#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/requests/process_launcher.h"
#include "common/conversions.h"
#include "TagShellExtension/tag_context_main_menu_item.h"
#include "support/fake_shell_items.h"
#include "support/keyword_store.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <thread>

namespace
{
using Microsoft::WRL::ComPtr;
using namespace tag_extension;

struct fake_stores
{
    static inline std::map<std::wstring, std::vector<std::wstring>> tags;
    static inline std::atomic<int> opened{0};

    static HRESULT WINAPI open(PCWSTR path, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID iid, void** result)
    {
        ++opened;
        const auto found = tags.find(path);
        if (found == tags.end())
        {
            *result = nullptr;
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        return test_support::open_keyword_store(found->second, iid, result);
    }
};

class tag_entries : public testing::Test
{
protected:
    void SetUp() override
    {
        saved_ = property_system_functions();
        property_system_functions().get_property_store_from_parsing_name = &fake_stores::open;
        settings_.write(test_support::suite_settings_json("{}", "enabled",
                                                          R"({"general": {"showAutoTagContextMenu": false},
            "people_recognition": {"show_recognize_faces_context_menu": false}})"));
        tags_.write(R"({"tags": [{"name": "Holiday", "icon_not_tagged": "Content\\Icons\\tag_holiday.ico"},
            {"name": "Work", "icon_not_tagged": "Content\\Icons\\tag_work.ico", "icon_when_tagged": "x.ico"},
            {"name": "work"}, {"name": "Family"}]})");
        fake_stores::opened = 0;
    }
    void TearDown() override { property_system_functions() = saved_; }

    std::wstring file(const char* name, std::vector<std::wstring> tags)
    {
        const auto path = scratch_.write(name, "x").wstring();
        fake_stores::tags[path] = std::move(tags);
        return path;
    }

    std::vector<ComPtr<IExplorerCommand>> open_cascade()
    {
        ComPtr<IEnumExplorerCommand> commands;
        EXPECT_EQ(command_->EnumSubCommands(&commands), S_OK);
        std::vector<ComPtr<IExplorerCommand>> entries;
        ComPtr<IExplorerCommand> entry;
        while (commands->Next(1, &entry, nullptr) == S_OK)
        {
            entries.push_back(entry);
            entry.Reset();
        }
        return entries;
    }

    static std::wstring icon_of(IExplorerCommand* entry, IShellItemArray* items)
    {
        PWSTR text = nullptr;
        const HRESULT hr = entry->GetIcon(items, &text);
        std::wstring icon = SUCCEEDED(hr) && text != nullptr ? text : L"(failed)";
        CoTaskMemFree(text);
        return icon;
    }

    property_system_api saved_;
    test_support::settings_override settings_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    test_support::scratch_folder scratch_;
    com_ptr<tag_context_main_menu_item> command_ = make_object<tag_context_main_menu_item>();
};

TEST_F(tag_entries, only_tags_of_the_whole_selection_get_the_check_mark_and_the_selection_is_read_once)
{
    const auto items = test_support::make_items(
        {file("a.jpg", {L"Holiday", L"Work", L"Family"}), file("b.jpg", {L"work", L"Holiday", L"Work"})});
    const auto entries = open_cascade(); // Holiday, Work, work, Family, All tags..., separator, Remove
    const std::wstring holiday = icon_of(entries[0].Get(), items.Get());
    EXPECT_TRUE(holiday.ends_with(L"_generated-tagged.ico")) << holiday;
    EXPECT_TRUE(std::filesystem::exists(holiday));
    const std::wstring work = icon_of(entries[1].Get(), items.Get());
    EXPECT_TRUE(work.ends_with(L"_generated-tagged.ico")) << work;
    EXPECT_EQ(icon_of(entries[2].Get(), items.Get()), L""); // "work" lacks an icon and a.jpg lacks "work"
    EXPECT_EQ(icon_of(entries[3].Get(), items.Get()), L""); // Family only on a.jpg
    EXPECT_EQ(fake_stores::opened, 2);

    // A new opening of the cascade reads the selection again.
    const auto again = open_cascade();
    EXPECT_EQ(icon_of(again[3].Get(), items.Get()), L"");
    EXPECT_EQ(fake_stores::opened, 4);
}

TEST_F(tag_entries, an_unreadable_selection_leaves_every_entry_untagged_with_one_log_line)
{
    test_support::fake_selection broken{{file("a.jpg", {L"Holiday"})}};
    broken.fail_display_name = true;
    const auto items = test_support::make_items(broken);
    const test_support::log_mark mark;
    const auto entries = open_cascade();
    EXPECT_TRUE(icon_of(entries[0].Get(), items.Get()).ends_with(L"tag_holiday.ico"));
    EXPECT_TRUE(icon_of(entries[1].Get(), items.Get()).ends_with(L"tag_work.ico"));
    const std::string log = mark.new_text();
    EXPECT_NE(log.find("[ERROR] Failed to obtain tags from: . Details: GetDisplayName"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("Failed to obtain tags", log.find("Failed to obtain tags") + 1), std::string::npos);
    EXPECT_EQ(fake_stores::opened, 0);
}

TEST_F(tag_entries, a_failed_launch_is_logged_answers_s_false_and_keeps_the_request)
{
    const auto saved = shell_object_functions();
    shell_object_functions().create_instance = [](REFCLSID, LPUNKNOWN, DWORD, REFIID,
                                                  LPVOID* result) -> HRESULT
    {
        *result = nullptr;
        return E_FAIL;
    };
    const auto temp = scratch_ / L"temp";
    std::filesystem::create_directories(temp);
    wchar_t saved_tmp[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TMP", saved_tmp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    const auto photo = file("a.jpg", {});
    const test_support::log_mark mark;
    const HRESULT hr = open_cascade()[0]->Invoke(test_support::make_items({photo}).Get(), nullptr);
    shell_object_functions() = saved;
    SetEnvironmentVariableW(L"TMP", saved_tmp);

    EXPECT_EQ(hr, S_FALSE);
    EXPECT_NE(mark.new_text().find("[ERROR] Failed to append tags to: " + common::to_utf8(photo) +
                                   ". Details " + explorer_launch_error),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::is_empty(temp)) << "the request stays for a later look";
}

TEST_F(tag_entries, concurrent_icon_requests_fill_each_cascade_once)
{
    const auto items = test_support::make_items({file("a.jpg", {L"Holiday"}), file("b.jpg", {L"Holiday"})});
    constexpr int threads_count = 8;
    std::vector<ComPtr<IExplorerCommand>> entries = open_cascade();
    std::atomic<int> wrong{0};
    // Eight threads share each cascade; the last to finish a round checks it and opens the next.
    // (A condition variable, since std::barrier can hang with MinGW's runtime.)
    std::mutex lock;
    std::condition_variable next_round;
    int arrived = 0;
    int round = 0;
    auto finish_round = [&]
    {
        std::unique_lock guard(lock);
        const int mine = round;
        if (++arrived < threads_count)
        {
            next_round.wait(guard, [&] { return round != mine; });
            return;
        }
        wrong += fake_stores::opened != 2;
        fake_stores::opened = 0;
        entries = open_cascade();
        arrived = 0;
        ++round;
        next_round.notify_all();
    };
    std::vector<std::jthread> threads;
    for (size_t t = 0; t < threads_count; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int cascade = 0; cascade < 1000; ++cascade)
                {
                    // Each thread walks the tag entries from another starting point.
                    for (size_t i = 0; i < 4; ++i)
                    {
                        const auto& entry = entries[(i + t) % 4];
                        const bool tagged =
                            icon_of(entry.Get(), items.Get()).ends_with(L"_generated-tagged.ico");
                        wrong += tagged != (entry.Get() == entries[0].Get());
                    }
                    finish_round();
                }
            });
    }
    threads.clear();
    EXPECT_EQ(wrong, 0);
}
} // namespace
