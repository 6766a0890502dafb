// Every COM call keeps its documented answer when the world around the extension fails:
// no log file, no temporary folder, no writable request, settings files that come and go.
#include "TagShellExtension/requests/batch_request.h"
#include "common/whole_file.h"
#include "common/logger.h"
#include "reliability/reliability_support.h"
#include "support/fake_shell_items.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>
#include <tuple>

namespace
{
using Microsoft::WRL::ComPtr;
using namespace reliability;

// What one menu opening and the three entries that write requests answer: GetState and its
// state, GetTitle, whether the cascade answered as documented, then Tag 1, Remove all tags and
// All tags....
using road_answers = std::vector<long long>;
const road_answers usual_answers = {S_OK, ECS_ENABLED, S_OK, true, S_FALSE, S_FALSE, S_FALSE};

class faults : public reliability_test
{
protected:
    void SetUp() override
    {
        suite_.write(test_support::suite_settings_json("{}", "enabled",
                                                       R"({"general": {"showAutoTagContextMenu": false}})"));
        tags_.write(tags_json(1));
    }

    road_answers road()
    {
        const auto top = read_entry(command_.Get(), items_.Get());
        road_answers answers{top.state_result, top.state, top.title_result};
        answers.push_back(answers_as_documented(read_cascade(command_.Get(), items_.Get())));
        for (const auto* name : {L"Tag 1", L"Remove all tags", L"All tags..."})
        {
            const auto entry = find_entry(command_.Get(), name);
            answers.push_back(entry ? entry->Invoke(items_.Get(), nullptr) : E_UNEXPECTED);
        }
        return answers;
    }

    const ComPtr<IExplorerCommand> command_ = in_process_command();
    const ComPtr<IShellItemArray> items_ = test_support::make_items({photo_});
};

TEST_F(faults,
       invocations_that_cannot_write_a_request_or_a_log_give_s_false_one_error_line_each_and_no_request)
{
    // Each case makes its fault and gives what undoes it; then the day's log gains one error line
    // per invocation, or none when the log file cannot be opened.
    const auto nowhere = [&] { return std::make_shared<temp_folder_override>(scratch_ / L"nowhere", false); };
    const std::tuple<const char*, std::function<std::shared_ptr<void>()>, std::ptrdiff_t> cases[] = {
        {"TMP and TEMP point nowhere", nowhere, 3},
        {"TMP and TEMP name a file",
         [&] { return std::make_shared<temp_folder_override>(scratch_.write(L"plain file"), false); }, 3},
        {"the request cannot be written",
         []
         {
             auto seam = std::make_shared<test_support::scoped_seam<common::file_write_api>>(
                 common::file_write_functions());
             (*seam)->write_file = [](HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) -> BOOL
             { return *written = 0, SetLastError(ERROR_DISK_FULL), FALSE; };
             return std::shared_ptr<void>(seam);
         },
         3},
        {"no temporary folder, and the log file cannot be opened",
         [&]
         {
             auto mute = std::make_shared<common::plain_text_logger>();
             mute->open((scratch_.write(L"Logs", "a file, not a folder") / L"today.log").wstring());
             using logger_seam = test_support::scoped_seam<std::shared_ptr<common::plain_text_logger>>;
             return std::shared_ptr<void>(
                 std::make_shared<std::pair<std::shared_ptr<void>, std::shared_ptr<void>>>(
                     std::make_shared<logger_seam>(common::shared_logger(), mute), nowhere()));
         },
         0},
    };
    for (const auto& [name, make_fault, error_lines] : cases)
    {
        SCOPED_TRACE(name);
        const test_support::log_mark mark;
        auto fault = make_fault();
        const road_answers answers = road();
        fault.reset();
        EXPECT_EQ(answers, usual_answers);
        EXPECT_TRUE(request_files(temp_path_).empty());
        const std::string log = mark.new_text();
        const std::regex error_line(R"(\] \[ERROR\] )");
        EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), error_line), {}), error_lines)
            << log;
    }
}

TEST_F(faults, settings_files_deleted_and_re_created_between_calls_are_provided_again_and_followed)
{
    for (int round = 1; round <= 3; ++round)
    {
        SCOPED_TRACE(round);
        suite_.remove();
        tags_.remove();
        EXPECT_EQ(read_entry(command_.Get(), items_.Get()).state, ECS_ENABLED); // the default copies show it
        auto entries = read_cascade(command_.Get(), items_.Get());
        EXPECT_TRUE(answers_as_documented(entries));
        EXPECT_EQ(entries.empty() ? L"" : entries[entries.size() - 4].title,
                  L"To review"); // last default tag
        EXPECT_TRUE(std::filesystem::exists(suite_.path()) && std::filesystem::exists(tags_.path()));

        suite_.write(test_support::suite_settings_json(R"({"general": {"showTagContextMenu": false}})"));
        tags_.write(R"({"tags": [{"name": "Round )" + std::to_string(round) + R"("}]})");
        const auto top = read_entry(command_.Get(), items_.Get());
        EXPECT_TRUE(top.state_result == S_OK && top.state == ECS_HIDDEN);
        entries = read_cascade(command_.Get(), items_.Get());
        ASSERT_TRUE(answers_as_documented(entries));
        EXPECT_EQ(entries[entries.size() - 4].title, L"Round " + std::to_wstring(round));
    }
}
} // namespace
