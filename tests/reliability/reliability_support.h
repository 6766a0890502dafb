#pragma once

#include "TagShellExtension/com_module.h"
#include "TagShellExtension/tag_context_main_menu_item.h"
#include "support/explorer_calls.h"
#include "support/product_files.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace reliability
{
using explorer_driver::read_entry;
using test_support::environment_override;
using test_support::find_entry;

// Points the user's temporary folder (TMP and TEMP) at a folder, made unless told otherwise.
struct temp_folder_override
{
    explicit temp_folder_override(const std::filesystem::path& folder, bool make = true)
        : made(make && std::filesystem::create_directories(folder)), tmp(L"TMP", folder.wstring()),
          temp(L"TEMP", folder.wstring())
    {
    }
    bool made;
    environment_override tmp;
    environment_override temp;
};

// The request files (lumora_*.json.tmp) in a folder; none when it does not exist.
inline std::vector<std::filesystem::path> request_files(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> found;
    std::error_code missing;
    for (const auto& file : std::filesystem::directory_iterator(folder, missing))
    {
        const auto name = file.path().filename().wstring();
        if (name.starts_with(L"lumora_") && name.ends_with(L".json.tmp"))
        {
            found.push_back(file.path());
        }
    }
    return found;
}

// A tag definitions file with tags "Tag 1" to "Tag <count>", each with a shipped icon.
inline std::string tags_json(int count)
{
    std::string tags;
    for (int i = 1; i <= count; ++i)
    {
        tags += fmt::format(R"({}{{"name": "Tag {}", "icon_not_tagged": "Content\\Icons\\tag_work.ico"}})",
                            i == 1 ? "" : ",", i);
    }
    return R"({"version": "1.0", "tags": [)" + tags + "]}";
}

using entry = explorer_driver::menu_entry;
using explorer_driver::read_cascade;

// The answers documented for the cascade's entries: a title (none for the separator) and
// an icon or E_NOTIMPL for entries that have none. Anything else is a failure that got caught.
inline bool answers_as_documented(const std::vector<entry>& entries)
{
    for (const auto& e : entries)
    {
        const bool title_ok = e.title_result == S_OK || (e.title_result == S_FALSE && e.title.empty());
        if (!title_ok || (e.icon_result != S_OK && e.icon_result != E_NOTIMPL))
        {
            return false;
        }
    }
    return !entries.empty();
}

// The Tag command from the code linked into the test.
inline Microsoft::WRL::ComPtr<IExplorerCommand> in_process_command()
{
    return tag_extension::make_object<tag_extension::tag_context_main_menu_item>();
}

// What every reliability test stands on: a scratch folder, both settings files replaced and the
// temporary folder redirected into the scratch folder. A watchdog ends the process when a test
// outlives its limit: a deadlocked test never returns to fail by itself.
class reliability_test : public testing::Test
{
protected:
    reliability_test()
    {
        CreateTimerQueueTimer(
            &watchdog_, nullptr,
            [](void*, BOOLEAN)
            {
                std::fputs("watchdog: a reliability test is still running\n", stderr);
                std::_Exit(3);
            },
            nullptr, 100'000, 0, WT_EXECUTEONLYONCE);
    }
    ~reliability_test() override { DeleteTimerQueueTimer(nullptr, watchdog_, INVALID_HANDLE_VALUE); }

    HANDLE watchdog_ = nullptr;
    test_support::scratch_folder scratch_;
    test_support::settings_override suite_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    const std::filesystem::path temp_path_ = scratch_ / L"temp";
    temp_folder_override temp_{temp_path_};
    const std::wstring photo_ = scratch_.write(L"photo.jpg", "x").wstring();
    environment_override records_{L"TAG_COMPANION_RECORDS", (scratch_ / L"records").wstring()};
};
} // namespace reliability
