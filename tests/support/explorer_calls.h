#pragma once

#include "tools/explorer_driver/cascade.h"

#include <windows.h>

#include <string>

namespace test_support
{
// A string a COM call handed out; freed here.
inline std::wstring take(PWSTR text)
{
    std::wstring result = text != nullptr ? text : L"";
    CoTaskMemFree(text);
    return result;
}

using explorer_driver::find_entry;
using explorer_driver::open_cascade;

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
