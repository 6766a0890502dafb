#pragma once

#include "TagShellExtension/com_module.h"
#include "TagShellExtension/requests/process_launcher.h"

#include <windows.h>
#include <psapi.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace reliability
{
// Ends the process when the guarded scope outlives its limit: a deadlocked test never
// returns to fail by itself.
class watchdog
{
public:
    watchdog(std::chrono::seconds limit, const char* what)
        : thread_(
              [this, limit, what]
              {
                  std::unique_lock lock(lock_);
                  if (!done_signal_.wait_for(lock, limit, [this] { return done_; }))
                  {
                      std::fprintf(stderr, "watchdog: %s still running after %lld s\n", what,
                                   static_cast<long long>(limit.count()));
                      std::fflush(stderr);
                      std::_Exit(3);
                  }
              })
    {
    }
    ~watchdog()
    {
        {
            std::lock_guard guard(lock_);
            done_ = true;
        }
        done_signal_.notify_all();
        thread_.join();
    }
    watchdog(const watchdog&) = delete;
    watchdog& operator=(const watchdog&) = delete;

private:
    std::mutex lock_;
    std::condition_variable done_signal_;
    bool done_ = false;
    std::thread thread_;
};

// Sets an environment variable of this process (inherited by what it starts) for one scope.
class environment_override
{
public:
    environment_override(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        std::wstring old(32768, L'\0');
        const DWORD length = GetEnvironmentVariableW(name, old.data(), 32768);
        if (length > 0 && length < 32768)
        {
            old_ = old.substr(0, length);
        }
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~environment_override() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
    environment_override(const environment_override&) = delete;
    environment_override& operator=(const environment_override&) = delete;

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

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

// One entry of the cascade as Explorer sees it.
struct entry
{
    HRESULT title_result = E_FAIL;
    std::wstring title;
    HRESULT icon_result = E_FAIL;
    std::wstring icon;
};

inline std::wstring take(PWSTR text)
{
    std::wstring result = text != nullptr ? text : L"";
    CoTaskMemFree(text);
    return result;
}

// Opens the cascade and asks every entry for its title and icon; empty when it cannot be opened.
inline std::vector<entry> read_cascade(IExplorerCommand* command, IShellItemArray* items)
{
    std::vector<entry> entries;
    Microsoft::WRL::ComPtr<IEnumExplorerCommand> commands;
    if (command->EnumSubCommands(&commands) != S_OK || !commands)
    {
        return entries;
    }
    Microsoft::WRL::ComPtr<IExplorerCommand> item;
    while (commands->Next(1, &item, nullptr) == S_OK)
    {
        entry e;
        PWSTR text = nullptr;
        e.title_result = item->GetTitle(items, &text);
        e.title = take(text);
        text = nullptr;
        e.icon_result = item->GetIcon(items, &text);
        e.icon = take(text);
        entries.push_back(std::move(e));
        item.Reset();
    }
    return entries;
}

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

// The Tag command from the code linked into the test, through the class factory.
inline Microsoft::WRL::ComPtr<IExplorerCommand> in_process_command()
{
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    Microsoft::WRL::ComPtr<IExplorerCommand> command;
    if (SUCCEEDED(tag_extension::get_class_object(tag_extension::CLSID_tag_context_main_menu_item,
                                                  IID_PPV_ARGS(&factory))))
    {
        factory->CreateInstance(nullptr, IID_PPV_ARGS(&command));
    }
    return command;
}

// The entry with this title, or null.
inline Microsoft::WRL::ComPtr<IExplorerCommand> find_entry(IExplorerCommand* command,
                                                           const std::wstring& title)
{
    Microsoft::WRL::ComPtr<IEnumExplorerCommand> commands;
    Microsoft::WRL::ComPtr<IExplorerCommand> item;
    if (command->EnumSubCommands(&commands) == S_OK && commands)
    {
        while (commands->Next(1, &item, nullptr) == S_OK)
        {
            PWSTR text = nullptr;
            item->GetTitle(nullptr, &text);
            if (take(text) == title)
            {
                return item;
            }
            item.Reset();
        }
    }
    return nullptr;
}

// Neither shell route can be had, so launches fail at once instead of starting processes.
inline HRESULT WINAPI refuse_creation(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* result)
{
    *result = nullptr;
    return REGDB_E_CLASSNOTREG;
}

struct shell_unavailable
{
    shell_unavailable() { tag_extension::shell_object_functions().create_instance = &refuse_creation; }
    ~shell_unavailable() { tag_extension::shell_object_functions().create_instance = &CoCreateInstance; }
    shell_unavailable(const shell_unavailable&) = delete;
    shell_unavailable& operator=(const shell_unavailable&) = delete;
};

// PrivateUsage of the process. Wine reports 0 there, so under Wine the committed private
// regions are added up instead, which is what PrivateUsage counts.
inline SIZE_T private_bytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    if (counters.PrivateUsage != 0)
    {
        return counters.PrivateUsage;
    }
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const BYTE* at = nullptr; VirtualQuery(at, &region, sizeof(region)) == sizeof(region);
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize)
    {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
        {
            total += region.RegionSize;
        }
    }
    return total;
}
} // namespace reliability
