// Starting the companion stand-ins built beside the test executable, through Wine's shell
// automation object and through the direct fallbacks.
#include "TagShellExtension/requests/batch_dispatch.h"
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/requests/process_launcher.h"
#include "support/companion_records.h"
#include "support/scratch_folder.h"
#include "request_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace
{
using namespace tag_extension;
using std::chrono::steady_clock;
using test_support::wait_for_companion_records;

std::vector<CLSID> asked_classes;

HRESULT WINAPI refuse(REFCLSID clsid, LPUNKNOWN, DWORD, REFIID, LPVOID* result)
{
    asked_classes.push_back(clsid);
    *result = nullptr;
    return REGDB_E_CLASSNOTREG;
}

// Neither the Shell object nor the desktop window can be had, as on a system without Explorer.
struct shell_unavailable
{
    shell_unavailable() { asked_classes.clear(), shell_object_functions().create_instance = &refuse; }
    ~shell_unavailable() { shell_object_functions().create_instance = &CoCreateInstance; }
};

class launching : public testing::Test
{
protected:
    test_support::scratch_folder scratch_;
    // Both pass through cmd's command line.
    std::filesystem::path temp_ = scratch_ / L"t&1 (a) ^b %c;d,e! \u00e9";
    std::filesystem::path module_folder_ = scratch_ / L"m&2 (f) ^g %h";
    request_tests::temp_folder_override redirect_{temp_};
    request_tests::environment_override records_{L"TAG_COMPANION_RECORDS", scratch_ / L"records"};
};

TEST_F(launching, the_shell_route_hands_companions_exactly_their_arguments_through_cmd_metacharacter_folders)
{
    std::filesystem::create_directories(module_folder_);
    for (const auto name : {batch_processor_name, tag_manager_name})
    {
        std::filesystem::copy_file(test_support::executable_folder() / name, module_folder_ / name);
    }
    // Any module in that folder will do; a stand-in is never relinked while tests run.
    const HMODULE module =
        LoadLibraryExW((module_folder_ / batch_processor_name).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr);

    dispatch_batch_action(module, {L"C:\\x&y.jpg"}, action_type::toggle_tags, L"R&D");
    auto records = wait_for_companion_records(batch_processor_name);
    ASSERT_EQ(records.size(), 1u);
    const auto request = std::filesystem::directory_iterator(temp_)->path().wstring();
    EXPECT_EQ(records[0].program, batch_processor_path(module));
    EXPECT_EQ(records[0].arguments, request);
    EXPECT_EQ(records[0].content, test_support::read_file(request)) << "the request stays";
    EXPECT_NE(records[0].content.find("\"toggle_tags\",\r\n        \"action_parameters\": \"R&D\""),
              std::string::npos);

    const auto arguments = tag_manager_arguments((module_folder_ / L"All Tags.json").wstring(), request);
    EXPECT_TRUE(launch_with_wait_fallback(tag_manager_path(module), arguments));
    records = wait_for_companion_records(tag_manager_name);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].arguments, arguments);
    FreeLibrary(module);
}

TEST_F(launching, without_the_shell_dispatch_raises_keeping_its_request_and_only_the_wait_fallback_waits)
{
    const shell_unavailable unavailable;
    EXPECT_THROW(dispatch_batch_action(GetModuleHandleW(nullptr), {L"C:\\a.jpg"}, action_type::auto_tag, L""),
                 std::runtime_error);
    ASSERT_EQ(asked_classes.size(), 2u);
    EXPECT_FALSE(IsEqualCLSID(asked_classes[0], asked_classes[1])) << "the desktop window was not tried";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_), {}), 1);

    const request_tests::environment_override sleep(L"TAG_COMPANION_SLEEP_MS", L"2500");
    const std::chrono::milliseconds sleep_time(2500);
    const auto folder = test_support::executable_folder();
    auto started = steady_clock::now();
    EXPECT_TRUE(
        launch_with_wait_fallback((folder / tag_manager_name).wstring(), L"\"C:\\d.json\" \"C:\\r\""));
    EXPECT_GE(steady_clock::now() - started, sleep_time);
    const auto waited = test_support::take_companion_records(tag_manager_name);
    ASSERT_EQ(waited.size(), 1u) << "returned before the tag manager exited";
    EXPECT_EQ(waited[0].arguments, L"\"C:\\d.json\" \"C:\\r\"");

    started = steady_clock::now();
    EXPECT_TRUE(launch_with_detached_fallback((folder / main_application_name).wstring(), L"--open-tab=x"));
    EXPECT_LT(steady_clock::now() - started, sleep_time);
    const auto detached = wait_for_companion_records(main_application_name);
    ASSERT_EQ(detached.size(), 1u);
    EXPECT_EQ(detached[0].arguments, L"--open-tab=x");

    EXPECT_FALSE(launch_with_wait_fallback((scratch_ / L"missing.exe").wstring(), L""));
    EXPECT_FALSE(launch_with_detached_fallback((scratch_ / L"missing.exe").wstring(), L""));
}

TEST(shell_route, leaves_the_thread_apartment_as_it_found_it)
{
    const shell_unavailable unavailable;
    for (const bool in_mta : {false, true})
    {
        HRESULT after = E_FAIL;
        std::thread(
            [&]
            {
                const bool entered = in_mta && SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
                EXPECT_THROW(launch_via_explorer(L"C:\\p.exe", L"x"), std::runtime_error);
                after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                CoUninitialize();
                if (entered)
                {
                    CoUninitialize();
                }
            })
            .join();
        // S_OK: the call left the apartment it entered; S_FALSE: it did not leave one it found.
        EXPECT_EQ(after, in_mta ? S_FALSE : S_OK) << in_mta;
    }
    EXPECT_EQ(asked_classes.size(), 4u) << "the launch was not attempted on every thread";
}

// The folders above hold lone % signs only: cmd expands %NAME% between quotation marks too, as in
// the quoted program path. So the guard outside them is checked on the text.
TEST(interpreter_arguments, keep_cmd_from_expanding_variables_outside_quotation_marks)
{
    EXPECT_EQ(interpreter_arguments(L"C:\\p.exe", L"C:\\50%PATH%x %%y% z"),
              L"/c start \"\" \"C:\\p.exe\" C:\\50%^PATH%^x %^%^y% z");
}
} // namespace
