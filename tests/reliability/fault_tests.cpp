// Every COM call keeps its documented answer when the world around the extension fails:
// no log file, no temporary folder, no writable request, settings files that come and go.
#include "TagShellExtension/requests/batch_request.h"
#include "common/whole_file.h"
#include "common/logger.h"
#include "reliability/reliability_support.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace
{
using Microsoft::WRL::ComPtr;
using namespace reliability;

// What one menu opening and the three entries that write requests answer: GetState and its
// state, GetTitle, whether the cascade answered as documented, then Tag 1, Remove all tags and
// All tags....
using road_answers = std::vector<long long>;
const road_answers usual_answers = {S_OK, ECS_ENABLED, S_OK, true, S_FALSE, S_FALSE, S_FALSE};

class faults : public testing::Test
{
protected:
    void SetUp() override
    {
        suite_.write(test_support::suite_settings_json("{}", "enabled",
                                                       R"({"general": {"showAutoTagContextMenu": false}})"));
        tags_.write(R"({"tags": [{"name": "Tag 1", "icon_not_tagged": "Content\\Icons\\tag_work.ico"}]})");
    }

    road_answers road()
    {
        EXPCMDSTATE state = ECS_DISABLED;
        PWSTR title = nullptr;
        road_answers answers{command_->GetState(items_.Get(), FALSE, &state), state,
                             command_->GetTitle(items_.Get(), &title)};
        take(title);
        answers.push_back(answers_as_documented(read_cascade(command_.Get(), items_.Get())));
        for (const auto* name : {L"Tag 1", L"Remove all tags", L"All tags..."})
        {
            const auto entry = find_entry(command_.Get(), name);
            answers.push_back(entry ? entry->Invoke(items_.Get(), nullptr) : E_UNEXPECTED);
        }
        return answers;
    }

    test_support::scratch_folder scratch_;
    test_support::settings_override suite_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    const std::filesystem::path temp_path_ = scratch_ / L"temp";
    temp_folder_override temp_{temp_path_};
    const ComPtr<IExplorerCommand> command_ = in_process_command();
    const ComPtr<IShellItemArray> items_ =
        test_support::make_items({scratch_.write(L"photo.jpg", "x").wstring()});
    const watchdog guard_{std::chrono::seconds(50), "a fault test"};
};

TEST_F(faults, a_log_file_that_cannot_be_opened_changes_no_answer)
{
    // Without a temporary folder every invocation fails, so each writes an error line.
    const temp_folder_override nowhere(scratch_ / L"missing", false);
    const test_support::log_mark mark;
    EXPECT_EQ(road(), usual_answers);
    EXPECT_NE(mark.new_text().find("[ERROR]"), std::string::npos);

    auto mute = std::make_shared<common::plain_text_logger>();
    mute->open((scratch_.write(L"Logs", "a file where the log folder should be") / L"today.log").wstring());
    const test_support::scoped_seam logger(common::shared_logger(), mute);
    EXPECT_EQ(road(), usual_answers);
}

TEST_F(
    faults,
    without_a_temporary_folder_or_a_writable_request_every_invocation_gives_s_false_logs_and_leaves_no_request)
{
    // Each case makes its fault and gives what undoes it.
    const std::pair<const char*, std::function<std::shared_ptr<void>()>> cases[] = {
        {"TMP and TEMP point nowhere",
         [&] { return std::make_shared<temp_folder_override>(scratch_ / L"nowhere", false); }},
        {"TMP and TEMP name a file",
         [&] { return std::make_shared<temp_folder_override>(scratch_.write(L"plain file"), false); }},
        {"the request cannot be written",
         []
         {
             auto seam = std::make_shared<test_support::scoped_seam<common::file_write_api>>(
                 common::file_write_functions());
             (*seam)->write_file = [](HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) -> BOOL
             { return *written = 0, SetLastError(ERROR_DISK_FULL), FALSE; };
             return std::shared_ptr<void>(seam);
         }},
    };
    for (const auto& [name, make_fault] : cases)
    {
        SCOPED_TRACE(name);
        const test_support::log_mark mark;
        auto fault = make_fault();
        const road_answers answers = road();
        fault.reset();
        EXPECT_EQ(answers, usual_answers);
        EXPECT_TRUE(request_files(temp_path_).empty());
        EXPECT_NE(mark.new_text().find("[ERROR]"), std::string::npos);
    }
}

TEST_F(faults, settings_files_deleted_and_re_created_between_calls_are_provided_again_and_followed)
{
    for (int round = 1; round <= 3; ++round)
    {
        SCOPED_TRACE(round);
        suite_.remove();
        tags_.remove();
        EXPCMDSTATE state = ECS_DISABLED;
        EXPECT_EQ(command_->GetState(items_.Get(), FALSE, &state), S_OK);
        EXPECT_EQ(state, ECS_ENABLED); // the default copies show the command
        auto entries = read_cascade(command_.Get(), items_.Get());
        EXPECT_TRUE(answers_as_documented(entries));
        EXPECT_EQ(entries.empty() ? L"" : entries[entries.size() - 4].title,
                  L"To review"); // last default tag
        EXPECT_TRUE(std::filesystem::exists(suite_.path()) && std::filesystem::exists(tags_.path()));

        suite_.write(test_support::suite_settings_json(R"({"general": {"showTagContextMenu": false}})"));
        tags_.write(R"({"tags": [{"name": "Round )" + std::to_string(round) + R"("}]})");
        EXPECT_EQ(command_->GetState(items_.Get(), FALSE, &state), S_OK);
        EXPECT_EQ(state, ECS_HIDDEN);
        entries = read_cascade(command_.Get(), items_.Get());
        ASSERT_TRUE(answers_as_documented(entries));
        EXPECT_EQ(entries[entries.size() - 4].title, L"Round " + std::to_wstring(round));
    }
}
} // namespace
