#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace request_tests
{
// Sets a variable of this process (inherited by what it starts) for one test.
class environment_override
{
public:
    environment_override(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        wchar_t old[32768] = {};
        const DWORD length = GetEnvironmentVariableW(name, old, 32768);
        if (length > 0 && length < 32768)
        {
            old_ = std::wstring(old, length);
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

// Points the user's temporary folder (TMP and TEMP) at a folder, made when missing.
struct temp_folder_override
{
    explicit temp_folder_override(const std::filesystem::path& folder, bool make = true)
        : tmp(L"TMP", folder.wstring()), temp(L"TEMP", folder.wstring())
    {
        if (make)
        {
            std::filesystem::create_directories(folder);
        }
    }
    environment_override tmp;
    environment_override temp;
};

inline std::vector<std::filesystem::path> request_files(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        if (entry.path().extension() == L".tmp" &&
            entry.path().filename().wstring().rfind(L"lumora_", 0) == 0)
        {
            found.push_back(entry.path());
        }
    }
    return found;
}
} // namespace request_tests
