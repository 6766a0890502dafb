#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace request_tests
{
// Sets a variable of this process (inherited by what it starts) for one test.
struct environment_override
{
    environment_override(const wchar_t* variable, const std::wstring& value) : name(variable)
    {
        old.resize(GetEnvironmentVariableW(name, old.data(), 32768));
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~environment_override() { SetEnvironmentVariableW(name, old.empty() ? nullptr : old.c_str()); }
    const wchar_t* name;
    std::wstring old = std::wstring(32768, L'\0');
};

// Points the user's temporary folder (TMP and TEMP) at a folder, made first.
struct temp_folder_override
{
    explicit temp_folder_override(const std::filesystem::path& folder)
        : made(std::filesystem::create_directories(folder)), tmp(L"TMP", folder), temp(L"TEMP", folder)
    {
    }
    bool made;
    environment_override tmp, temp;
};
} // namespace request_tests
