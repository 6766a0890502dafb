// Choosing cascade entries through the real DLL: what the companion stand-ins receive.
#include "common/conversions.h"
#include "support/companion_records.h"
#include "support/extension_dll.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace
{
using Microsoft::WRL::ComPtr;
using test_support::take_companion_records;
using test_support::wait_for_companion_records;

constexpr std::wstring_view batch_processor = L"Sortwell.Common.BatchProcessor.exe";
constexpr std::wstring_view tag_manager = L"Sortwell.Common.TagManager.exe";
constexpr std::wstring_view main_application = L"Lumora.exe";

std::string json_path(const std::wstring& path)
{
    std::string escaped;
    for (char c : common::to_utf8(path))
    {
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return "\"path\": \"" + escaped + "\"";
}

class invoke : public testing::Test
{
protected:
    void SetUp() override
    {
        people(true, false);
        tags_.write(R"({"tags": [{"name": "Holiday"}, {"name": "Say \"cheese\""}]})");
        for (auto name : {batch_processor, tag_manager, main_application})
        {
            take_companion_records(name);
        }
        // A temporary folder with a blank keeps quotation marks on the command line visible.
        SetEnvironmentVariableW(L"TMP", temp_.c_str());
        SetEnvironmentVariableW(L"TEMP", temp_.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"TMP", saved_tmp_.c_str());
        SetEnvironmentVariableW(L"TEMP", saved_tmp_.c_str());
    }

    void people(bool enabled, bool consented, std::string_view status = "enabled")
    {
        settings_.write(test_support::suite_settings_json(
            "{}", status,
            fmt::format(R"({{"people_recognition": {{"enabled": {}, "consent_accepted": {}}}}})", enabled,
                        consented)));
    }

    ComPtr<IExplorerCommand> entry(const std::wstring& title)
    {
        ComPtr<IEnumExplorerCommand> commands;
        EXPECT_EQ(command_->EnumSubCommands(&commands), S_OK);
        ComPtr<IExplorerCommand> item;
        while (commands->Next(1, &item, nullptr) == S_OK)
        {
            PWSTR text = nullptr;
            item->GetTitle(nullptr, &text);
            const bool match = text != nullptr && title == text;
            CoTaskMemFree(text);
            if (match)
            {
                return item;
            }
            item.Reset();
        }
        ADD_FAILURE() << "no entry titled " << common::to_utf8(title);
        return nullptr;
    }

    HRESULT choose(const std::wstring& title, const std::vector<std::wstring>& paths)
    {
        auto chosen = entry(title);
        return chosen ? chosen->Invoke(test_support::make_items(paths).Get(), nullptr) : E_FAIL;
    }

    std::wstring file(const char* name) { return files_.write(name, "x").wstring(); }

    test_support::settings_override settings_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    test_support::scratch_folder files_;
    test_support::scratch_folder temp_root_;
    std::wstring temp_ = (temp_root_ / L"my temp").wstring();
    std::wstring saved_tmp_ = [] {
        wchar_t value[MAX_PATH] = L"";
        GetEnvironmentVariableW(L"TMP", value, MAX_PATH);
        return std::wstring(value);
    }();
    bool made_temp_ = std::filesystem::create_directories(temp_);
    test_support::extension_dll dll_;
    ComPtr<IExplorerCommand> command_ = dll_.create_command();
};

TEST_F(invoke, a_tag_entry_sends_toggle_tags_with_its_name_for_the_selection_to_the_batch_processor)
{
    const auto a = file("a.jpg");
    const auto b = file("b c.jpg");
    ASSERT_EQ(choose(L"Say \"cheese\"", {a, b}), S_OK);
    const auto records = wait_for_companion_records(batch_processor);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].arguments, records[0].file) << "the request path, unquoted, is the whole argument";
    EXPECT_TRUE(records[0].file.starts_with(temp_));
    EXPECT_NE(records[0].content.find(R"("action_type": "toggle_tags")"), std::string::npos);
    EXPECT_NE(records[0].content.find(R"("action_parameters": "Say \"cheese\"")"), std::string::npos);
    EXPECT_LT(records[0].content.find(json_path(a)), records[0].content.find(json_path(b)));
    EXPECT_TRUE(std::filesystem::exists(records[0].file)) << "the request belongs to the batch processor";
}

TEST_F(invoke, remove_all_tags_and_auto_tag_send_their_action_with_empty_parameters)
{
    const std::vector<std::wstring> three{file("1.jpg"), file("2.png"), file("3.txt")};
    ASSERT_EQ(choose(L"Remove all tags", three), S_OK);
    auto records = wait_for_companion_records(batch_processor);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].content.find(R"("action_type": "remove_tags")"), std::string::npos);
    EXPECT_NE(records[0].content.find(R"("action_parameters": "")"), std::string::npos);
    for (const auto& path : three)
    {
        EXPECT_NE(records[0].content.find(json_path(path)), std::string::npos);
    }

    ASSERT_EQ(choose(L"Auto tag", {three[0]}), S_OK);
    records = wait_for_companion_records(batch_processor);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].content.find(R"("action_type": "auto_tag")"), std::string::npos);
}

TEST_F(invoke, all_tags_opens_the_tag_manager_with_the_definitions_and_a_request)
{
    const auto a = file("a.jpg");
    const auto b = file("b.jpg");
    ASSERT_EQ(choose(L"All tags...", {a, b}), S_OK);
    // Only the direct start waits for the tag manager; the shell route does not.
    const auto records = wait_for_companion_records(tag_manager);
    ASSERT_EQ(records.size(), 1u);
    const std::wstring expected_start = L"\"" + tags_.path().wstring() + L"\" \"";
    EXPECT_TRUE(records[0].arguments.starts_with(expected_start)) << common::to_utf8(records[0].arguments);
    EXPECT_EQ(records[0].arguments, expected_start + records[0].file + L"\"");
    EXPECT_NE(records[0].content.find(R"("action_type": "toggle_tags")"), std::string::npos);
    EXPECT_LT(records[0].content.find(json_path(a)), records[0].content.find(json_path(b)));
}

TEST_F(invoke, all_tags_without_a_definitions_file_launches_nothing_and_logs_the_paths)
{
    const auto a = file("a.jpg");
    auto all_tags = entry(L"All tags...");
    ASSERT_TRUE(all_tags);
    tags_.remove();
    const test_support::log_mark mark;
    EXPECT_EQ(all_tags->Invoke(test_support::make_items({a}).Get(), nullptr), S_FALSE);
    EXPECT_TRUE(std::filesystem::is_empty(temp_)) << "no request was written";
    EXPECT_TRUE(take_companion_records(tag_manager).empty());
    EXPECT_NE(mark.new_text().find("[ERROR] Failed to append tags for files: " + common::to_utf8(a) + ". Details "),
              std::string::npos);
}

TEST_F(invoke, recognize_faces_without_consent_or_owning_app_opens_the_people_page)
{
    const auto photo = file("a.jpg");
    for (auto [enabled, consented, status] : {std::tuple{true, false, "enabled"}, {true, true, "disabled"}})
    {
        people(enabled, consented, status);
        if (std::string_view(status) == "disabled")
        {
            // A disabled owning app hides the entry; ask the entry of an earlier opening.
            people(true, true);
            auto recognize = entry(L"Recognize faces");
            people(true, true, status);
            ASSERT_EQ(recognize->Invoke(test_support::make_items({photo}).Get(), nullptr), S_OK);
        }
        else
        {
            ASSERT_EQ(choose(L"Recognize faces", {photo}), S_OK);
        }
        const auto records = wait_for_companion_records(main_application);
        ASSERT_EQ(records.size(), 1u) << status;
        EXPECT_EQ(records[0].arguments, L"--open-tab=people-management");
        EXPECT_TRUE(take_companion_records(batch_processor).empty());
    }
}

TEST_F(invoke, recognize_faces_sends_the_images_of_files_and_folder_trees_in_walk_order)
{
    people(true, true);
    const auto notes = file("notes.txt");
    const auto only_extension = file(".png");
    EXPECT_EQ(choose(L"Recognize faces", {notes, only_extension}), S_FALSE);

    const auto tree = files_ / L"Trip";
    files_.write("Trip/Beach.JPG", "x");
    files_.write("Trip/list.txt", "x");
    files_.write("Trip/Day 2/Dinner.heic", "x");
    const auto missing = (files_ / L"gone.webp").wstring();
    ASSERT_EQ(choose(L"Recognize faces", {tree.wstring(), notes, missing}), S_OK);
    const auto records = wait_for_companion_records(batch_processor);
    ASSERT_EQ(records.size(), 1u);
    const std::string& request = records[0].content;
    EXPECT_NE(request.find(R"("action_type": "recognize_faces")"), std::string::npos);
    const auto beach = request.find(json_path((tree / L"Beach.JPG").wstring()));
    const auto dinner = request.find(json_path((tree / L"Day 2" / L"Dinner.heic").wstring()));
    const auto gone = request.find(json_path(missing));
    EXPECT_NE(beach, std::string::npos);
    EXPECT_NE(dinner, std::string::npos);
    EXPECT_NE(gone, std::string::npos);
    EXPECT_LT(std::max(beach, dinner), gone);
    EXPECT_EQ(request.find("list.txt"), std::string::npos);
    EXPECT_EQ(request.find("notes.txt"), std::string::npos);
}
} // namespace
