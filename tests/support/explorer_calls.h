#pragma once

#include "common/folders.h"
#include "tools/explorer_driver/cascade.h"

#include <windows.h>

#include <string>

namespace test_support
{
using explorer_driver::find_entry;
using explorer_driver::open_cascade;

using common::environment_variable;

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
