#pragma once

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>
#include <string_view>
#include <vector>

namespace test_support
{
// A string a COM call handed out; freed here.
inline std::wstring take(PWSTR text)
{
    std::wstring result = text != nullptr ? text : L"";
    CoTaskMemFree(text);
    return result;
}

// The entries of a new enumerator, as Explorer pulls them one at a time; none when it cannot open.
inline std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>> open_cascade(IExplorerCommand* command)
{
    std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>> entries;
    Microsoft::WRL::ComPtr<IEnumExplorerCommand> commands;
    if (command->EnumSubCommands(&commands) == S_OK && commands)
    {
        for (Microsoft::WRL::ComPtr<IExplorerCommand> entry; commands->Next(1, &entry, nullptr) == S_OK;)
        {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

// The entry with this title in a new cascade, or null.
inline Microsoft::WRL::ComPtr<IExplorerCommand> find_entry(IExplorerCommand* command, std::wstring_view title)
{
    for (auto& entry : open_cascade(command))
    {
        PWSTR text = nullptr;
        entry->GetTitle(nullptr, &text);
        if (take(text) == title)
        {
            return entry;
        }
    }
    return nullptr;
}

// A variable of this process; empty when it is not set.
inline std::wstring environment_variable(const wchar_t* name)
{
    std::wstring value(32768, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), 32768));
    return value;
}

// Sets a variable of this process, inherited by what it starts, for one scope.
struct environment_override
{
    environment_override(const wchar_t* variable, const std::wstring& value) : name(variable)
    {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~environment_override() { SetEnvironmentVariableW(name, old.empty() ? nullptr : old.c_str()); }
    environment_override(const environment_override&) = delete;
    environment_override& operator=(const environment_override&) = delete;
    const wchar_t* name;
    std::wstring old = environment_variable(name);
};
} // namespace test_support
