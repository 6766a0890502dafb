// Starting the companion stand-ins built beside the test executable, through Wine's shell
// automation object and through the direct fallbacks.
#include "TagShellExtension/requests/batch_dispatch.h"
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/requests/process_launcher.h"
#include "support/companion_records.h"
#include "support/explorer_calls.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

namespace
{
namespace fs = std::filesystem;
using namespace tag_extension;
using namespace test_support;

std::vector<CLSID> asked_classes;
HRESULT WINAPI refuse(REFCLSID clsid, LPUNKNOWN, DWORD, REFIID, LPVOID* result)
{
    return asked_classes.push_back(clsid), *result = nullptr, REGDB_E_CLASSNOTREG;
}

// Neither the Shell object nor the desktop window can be had, as on a system without Explorer.
struct shell_unavailable
{
    shell_unavailable() { asked_classes.clear(), shell_object_functions().create_instance = &refuse; }
    ~shell_unavailable() { shell_object_functions().create_instance = &CoCreateInstance; }
};

struct launching : testing::Test
{
    scratch_folder scratch_;
    // Both pass through cmd's command line, which expands %OS% between quotation marks too.
    fs::path temp_ = scratch_ / L"t&1 (a) ^b %c;d,e! \u00e9";
    fs::path module_folder_ = scratch_ / L"m&2 (f) ^g %OS% %h";
    bool made_ = fs::create_directories(temp_) && fs::create_directories(module_folder_);
    environment_override tmp_{L"TMP", temp_}, temp_variable_{L"TEMP", temp_};
    environment_override records_{L"TAG_COMPANION_RECORDS", scratch_ / L"records"};
};

TEST_F(launching,
       the_shell_route_hands_companions_exactly_their_arguments_through_cmd_metacharacters_and_variables)
{
    fs::copy_file(executable_folder() / batch_processor_name, module_folder_ / batch_processor_name);
    fs::copy_file(executable_folder() / tag_manager_name, module_folder_ / tag_manager_name);
    // Any module in that folder will do; a stand-in is never relinked while tests run.
    const HMODULE module =
        LoadLibraryExW((module_folder_ / batch_processor_name).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr);

    dispatch_batch_action(module, {L"C:\\x&y.jpg"}, action_type::toggle_tags, L"R&D");
    auto records = wait_for_companion_records(batch_processor_name);
    ASSERT_EQ(records.size(), 1u);
    const auto request = fs::directory_iterator(temp_)->path().wstring();
    EXPECT_EQ(records[0].program, batch_processor_path(module));
    EXPECT_EQ(records[0].arguments, request);

    // A request beside the module: its quoted path holds cmd's metacharacters and %OS%. The
    // stand-in names the last argument it parsed when that is a file.
    const auto beside = scratch_.write(module_folder_.filename() / L"r.json").wstring();
    const auto arguments = tag_manager_arguments((module_folder_ / L"All Tags.json").wstring(), beside);
    EXPECT_TRUE(launch_with_wait_fallback(tag_manager_path(module), arguments));
    records = wait_for_companion_records(tag_manager_name);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].program, tag_manager_path(module));
    EXPECT_EQ(records[0].file, beside);
    FreeLibrary(module);

    // Wine's cmd drops carets before it expands, so the guard outside quotation marks, made for
    // Windows' cmd, is checked on the text.
    EXPECT_EQ(escape_for_interpreter(L"C:\\50%PATH%x %%y% z"), L"C:\\50%^PATH%^x %^%^y% z");
}

TEST_F(launching, without_the_shell_only_the_wait_fallback_waits_for_the_program_and_a_missing_one_fails)
{
    const shell_unavailable unavailable;
    const environment_override sleep(L"TAG_COMPANION_SLEEP_MS", L"2500");
    const std::wstring arguments = L"\"C:\\d.json\" \"C:\\r\"";
    const auto program = (executable_folder() / tag_manager_name).wstring();
    for (const auto& [launch, waits] :
         {std::pair{&launch_with_wait_fallback, true}, {&launch_with_detached_fallback, false}})
    {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(launch(program, arguments));
        EXPECT_EQ(std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(2500), waits);
        const auto records =
            waits ? take_companion_records(tag_manager_name) : wait_for_companion_records(tag_manager_name);
        ASSERT_EQ(records.size(), 1u) << waits;
        EXPECT_EQ(records[0].arguments, arguments);
        EXPECT_FALSE(launch((scratch_ / L"missing.exe").wstring(), L""));
    }
}

TEST(shell_route, tries_the_desktop_window_after_the_shell_object_and_leaves_the_apartment_as_it_found_it)
{
    const shell_unavailable unavailable;
    std::jthread(
        []
        {
            // First without an apartment, then in the one the first check entered. S_OK: the call left
            // the apartment it entered; S_FALSE: it did not leave the one it found.
            for (const HRESULT expected : {S_OK, S_FALSE})
            {
                EXPECT_THROW(launch_via_explorer(L"C:\\p.exe", L"x"), std::runtime_error);
                EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), expected);
            }
            CoUninitialize();
            CoUninitialize();
        });
    // Two attempts a launch: the Shell object, then the desktop window.
    EXPECT_TRUE(asked_classes.size() == 4 && !IsEqualCLSID(asked_classes[0], asked_classes[1]));
}
} // namespace
