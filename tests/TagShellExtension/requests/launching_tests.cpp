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
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// {13709620-C279-11CE-A49E-444553540000} and {9BA05972-F6A8-11CF-A442-00A0C90A8F39}
constexpr CLSID shell_class = {0x13709620, 0xc279, 0x11ce, {0xa4, 0x9e, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr CLSID shell_windows_class = {
    0x9ba05972, 0xf6a8, 0x11cf, {0xa4, 0x42, 0x00, 0xa0, 0xc9, 0x0a, 0x8f, 0x39}};

std::vector<CLSID>& asked_classes()
{
    static std::vector<CLSID> classes;
    return classes;
}

HRESULT WINAPI refuse_creation(REFCLSID clsid, LPUNKNOWN, DWORD, REFIID, LPVOID* result)
{
    asked_classes().push_back(clsid);
    *result = nullptr;
    return REGDB_E_CLASSNOTREG;
}

// Neither the Shell object nor the desktop window can be had, as on a system without Explorer.
struct shell_unavailable
{
    shell_unavailable()
    {
        asked_classes().clear(), shell_object_functions().create_instance = &refuse_creation;
    }
    ~shell_unavailable() { shell_object_functions().create_instance = &CoCreateInstance; }
};

class launching : public testing::Test
{
protected:
    std::wstring stand_in(std::wstring_view name) const
    {
        return (test_support::executable_folder() / name).wstring();
    }

    test_support::scratch_folder scratch_;
    std::filesystem::path temp_ = scratch_ / L"temp folder";
    request_tests::temp_folder_override redirect_{temp_};
    request_tests::environment_override records_{L"TAG_COMPANION_RECORDS", (scratch_ / L"records").wstring()};
};

TEST_F(launching, dispatch_starts_the_batch_processor_through_the_shell_on_the_request_path)
{
    dispatch_batch_action(GetModuleHandleW(nullptr), {L"C:\\a.jpg", L"C:\\b c.jpg", L"C:\\d.png"},
                          action_type::remove_tags, L"");

    const auto requests = request_tests::request_files(temp_);
    ASSERT_EQ(requests.size(), 1u);
    const auto records = test_support::wait_for_companion_records(batch_processor_name);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].program, stand_in(batch_processor_name));
    EXPECT_EQ(records[0].arguments, requests[0].wstring());
    const auto& content = records[0].content;
    EXPECT_NE(content.find("\"action_type\": \"remove_tags\",\r\n        \"action_parameters\": \"\"\r\n"),
              std::string::npos);
    EXPECT_NE(content.find("\"path\": \"C:\\\\d.png\""), std::string::npos) << content;
    EXPECT_TRUE(std::filesystem::exists(requests[0])) << "the request belongs to the batch processor";
}

TEST_F(launching, cmd_metacharacters_in_folder_names_reach_the_companions_unchanged)
{
    // The temporary and the module folder both pass through cmd's command line.
    request_tests::temp_folder_override odd_temp(scratch_ / L"t&1 (a) ^b %c;d,e! \u00e9");
    const auto module_folder = scratch_ / L"m&2 (f) ^g %h";
    std::filesystem::create_directories(module_folder);
    for (const auto name : {batch_processor_name, tag_manager_name})
    {
        std::filesystem::copy_file(test_support::executable_folder() / name, module_folder / name);
    }
    // Any module in that folder will do; a stand-in is never relinked while tests run.
    const HMODULE module =
        LoadLibraryExW((module_folder / batch_processor_name).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr);

    dispatch_batch_action(module, {L"C:\\x&y.jpg"}, action_type::toggle_tags, L"R&D");
    auto records = test_support::wait_for_companion_records(batch_processor_name);
    ASSERT_EQ(records.size(), 1u);
    const auto request = request_tests::request_files(scratch_ / L"t&1 (a) ^b %c;d,e! \u00e9").at(0);
    EXPECT_EQ(records[0].program, batch_processor_path(module));
    EXPECT_EQ(records[0].arguments, request.wstring());

    const auto definitions = (module_folder / L"All Tags.json").wstring();
    EXPECT_TRUE(
        launch_with_wait_fallback(tag_manager_path(module), tag_manager_arguments(definitions, request)));
    records = test_support::wait_for_companion_records(tag_manager_name);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].arguments, tag_manager_arguments(definitions, request));
    EXPECT_EQ(records[0].file, request.wstring());
    FreeLibrary(module);
}

TEST_F(launching, failing_shell_ways_raise_the_launch_error_and_keep_the_request)
{
    const shell_unavailable unavailable;
    try
    {
        dispatch_batch_action(GetModuleHandleW(nullptr), {L"C:\\a.jpg"}, action_type::auto_tag, L"");
        ADD_FAILURE() << "the launch was reported as success";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ(error.what(), "Failed to launch process via Explorer (ShellExecute fallback failed).");
    }
    ASSERT_EQ(asked_classes().size(), 2u);
    EXPECT_TRUE(IsEqualCLSID(asked_classes()[0], shell_class));
    EXPECT_TRUE(IsEqualCLSID(asked_classes()[1], shell_windows_class));
    EXPECT_EQ(request_tests::request_files(temp_).size(), 1u);
}

TEST_F(launching, fallbacks_start_directly_and_only_the_tag_manager_form_waits)
{
    const shell_unavailable unavailable;
    const request_tests::environment_override sleep(L"TAG_COMPANION_SLEEP_MS", L"2500");
    const milliseconds sleep_time(2500);

    const auto started = steady_clock::now();
    EXPECT_TRUE(launch_with_wait_fallback(stand_in(tag_manager_name), L"\"C:\\defs.json\" \"C:\\r.json\""));
    EXPECT_GE(steady_clock::now() - started, sleep_time);
    const auto waited = test_support::take_companion_records(tag_manager_name);
    ASSERT_EQ(waited.size(), 1u) << "returned before the tag manager exited";
    EXPECT_EQ(waited[0].arguments, L"\"C:\\defs.json\" \"C:\\r.json\"");

    const auto detached_start = steady_clock::now();
    EXPECT_TRUE(launch_with_detached_fallback(stand_in(main_application_name), main_application_arguments()));
    EXPECT_LT(steady_clock::now() - detached_start, sleep_time);
    EXPECT_TRUE(test_support::take_companion_records(main_application_name).empty());
    const auto detached = test_support::wait_for_companion_records(main_application_name);
    ASSERT_EQ(detached.size(), 1u);
    EXPECT_EQ(detached[0].arguments, L"--open-tab=people-management");

    const auto missing = (scratch_ / L"missing.exe").wstring();
    EXPECT_FALSE(launch_with_wait_fallback(missing, L""));
    EXPECT_FALSE(launch_with_detached_fallback(missing, L""));
}

TEST(shell_route, leaves_the_thread_apartment_as_it_found_it)
{
    const shell_unavailable unavailable;
    for (const bool in_multithreaded : {false, true})
    {
        HRESULT after = E_FAIL;
        std::thread(
            [&]
            {
                if (in_multithreaded)
                {
                    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                }
                EXPECT_THROW(launch_via_explorer(L"C:\\p.exe", L"x"), std::runtime_error);
                after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                CoUninitialize();
                if (in_multithreaded)
                {
                    CoUninitialize();
                }
            })
            .join();
        // S_OK: the call left the apartment it entered; S_FALSE: it did not leave one it found.
        EXPECT_EQ(after, in_multithreaded ? S_FALSE : S_OK) << in_multithreaded;
    }
    EXPECT_EQ(asked_classes().size(), 4u) << "the launch was not attempted on every thread";
}

TEST(interpreter_arguments, keep_cmd_from_interpreting_the_argument_text)
{
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"", L""},
        {L"C:\\temp dir\\r.json", L"C:\\temp dir\\r.json"},
        {L"C:\\a&b (c) ^d|<>\\r.json", L"C:\\a^&b ^(c^) ^^d^|^<^>\\r.json"},
        {L"\"C:\\a&b (c)\\x\" C:\\e&f", L"\"C:\\a&b (c)\\x\" C:\\e^&f"},
        {L"C:\\50%PATH%x %%y% z", L"C:\\50%^PATH%^x %^%^y% z"},
    };
    for (const auto& [arguments, escaped] : rows)
    {
        EXPECT_EQ(interpreter_arguments(L"C:\\m&n (o)\\p.exe", arguments),
                  std::wstring(L"/c start \"\" \"C:\\m&n (o)\\p.exe\" ") + escaped);
    }
}
} // namespace
