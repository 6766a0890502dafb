// Starting the companion stand-ins, through Wine's shell automation object and through the
// direct starts.
#include "TagShellExtension/requests/companions.h"
#include "TagShellExtension/requests/process_launcher.h"
#include "common/conversions.h"
#include "support/companion_records.h"
#include "support/explorer_calls.h"
#include "support/extension_dll.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <span>
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
struct shell_unavailable : scoped_seam<shell_object_api>
{
    shell_unavailable() : scoped_seam(shell_object_functions(), {&refuse}) { asked_classes.clear(); }
};

struct launching : testing::Test
{
    scratch_folder scratch_;
    environment_override records_{L"TAG_COMPANION_RECORDS", scratch_ / L"records"};
};

// Through the DLL installed in a folder beside a temporary folder: cmd would expand %OS% and, with
// delayed expansion, !OS!; it folds a run of blanks and acts on & ( ) ^ ; , = (and |, which no
// name holds).
TEST_F(launching,
       companions_receive_exactly_their_argument_text_whatever_the_folders_hold_or_are_logged_missing)
{
    const settings_override suite(suite_settings_name), tags(tag_definitions_name);
    suite.write(suite_settings_json("{}")); // no consent: Recognize faces opens the main application
    tags.write(R"({"tags": [{"name": "Tag 1"}]})");
    const auto items = make_items({scratch_.write(L"a.jpg").wstring()});
    const std::pair<const wchar_t*, std::wstring_view> entries[] = {
        {L"Tag 1", batch_processor_name},
        {L"All tags...", tag_manager_name},
        {L"Recognize faces", main_application_name}};
    // Temporary folder, install folder, whether the companions are installed.
    const std::tuple<const wchar_t*, const wchar_t*, bool> rows[] = {
        {L"t1 %OS% !OS!  two  blanks", L"i", true},
        {L"t2 &()^;,= \u00e9", L"i &()^;,= \u00e9 !OS!", true},
        {L"t3 %OS%", L"i %OS% !OS!", true},
        {L"t4", L"missing", false},
    };
    for (const auto& [temp_name, install_name, installed] : rows)
    {
        SCOPED_TRACE(testing::Message() << temp_name << " / " << install_name);
        const fs::path temp = scratch_ / temp_name, install = scratch_ / install_name;
        fs::create_directories(temp);
        fs::create_directories(install);
        fs::copy_file(dll_path(), install / dll_path().filename(), fs::copy_options::skip_existing);
        for (const auto& [title, companion] : std::span(entries).first(installed ? 3 : 0))
        {
            fs::copy_file(executable_folder() / companion, install / companion,
                          fs::copy_options::skip_existing);
        }
        const environment_override tmp(L"TMP", temp), temp_variable(L"TEMP", temp);
        const extension_dll dll(install / dll_path().filename());
        const test_support::log_mark mark;
        for (const auto& [title, companion] : entries)
        {
            const auto chosen = find_entry(dll.create_command().Get(), title);
            ASSERT_TRUE(chosen);
            EXPECT_EQ(chosen->Invoke(items.Get(), nullptr), installed ? S_OK : S_FALSE);
            if (!installed)
            {
                EXPECT_PRED_FORMAT2(testing::IsSubstring, common::to_utf8((install / companion).wstring()),
                                    mark.new_text());
                continue;
            }
            const auto records = wait_for_companion_records(companion);
            ASSERT_EQ(records.size(), 1u);
            std::wstring expected = L"--open-tab=people-management";
            if (companion != main_application_name)
            {
                const auto request = fs::directory_iterator(temp)->path();
                fs::remove(request);
                expected = companion == batch_processor_name
                               ? request.wstring()
                               : L"\"" + tags.path().wstring() + L"\" \"" + request.wstring() + L"\"";
            }
            EXPECT_EQ(records[0].arguments, expected);
        }
    }
}

TEST_F(launching, every_route_hands_the_program_its_argument_text_unchanged_and_only_the_wait_fallback_waits)
{
    const auto program = (executable_folder() / tag_manager_name).wstring();
    const std::wstring paths = L"\"C:\\d.json\" \"C:\\r\"";
    using std::chrono::milliseconds;
    constexpr milliseconds limit(direct_start_wait_limit_ms);
    // Through the shell, texts cmd cannot carry; without it, only the wait fallback waits, and
    // never past its limit. The stand-in sleeps that long before it records its start.
    const std::tuple<decltype(&launch_via_explorer), bool, std::wstring, milliseconds, milliseconds> rows[] =
        {
            {&launch_via_explorer, true, std::wstring(9000, L'x'), milliseconds(2500), {}},
            {&launch_via_explorer, true, L"a\tb \"c  d\"", milliseconds(2500), {}},
            {&launch_with_wait_fallback, false, paths, milliseconds(2500), milliseconds(2500)},
            {&launch_with_wait_fallback, false, paths, limit + milliseconds(2500), limit},
            {&launch_with_detached_fallback, false, paths, milliseconds(2500), {}},
        };
    for (const auto& [launch, shell, text, sleep_time, waited] : rows)
    {
        const environment_override sleep(L"TAG_COMPANION_SLEEP_MS", std::to_wstring(sleep_time.count()));
        const auto unavailable = shell ? nullptr : std::make_unique<shell_unavailable>();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(launch(program, text));
        const auto elapsed = std::chrono::steady_clock::now() - started;
        EXPECT_TRUE(elapsed >= waited && elapsed < waited + milliseconds(2000)) << text.size();
        const auto records = waited == milliseconds(2500) ? take_companion_records(tag_manager_name)
                                                          : wait_for_companion_records(tag_manager_name);
        ASSERT_EQ(records.size(), 1u) << text.size();
        EXPECT_EQ(records[0].arguments, text);
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
                EXPECT_THROW(launch_via_explorer((executable_folder() / tag_manager_name).wstring(), L"x"),
                             std::runtime_error);
                EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), expected);
            }
            CoUninitialize();
            CoUninitialize();
        });
    // Two attempts a launch: the Shell object, then the desktop window.
    EXPECT_TRUE(asked_classes.size() == 4 && !IsEqualCLSID(asked_classes[0], asked_classes[1]));
}
} // namespace
