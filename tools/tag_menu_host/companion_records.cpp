#include "companion_records.h"

#include "common/whole_file.h"
#include "output.h"

#include "common/conversions.h"
#include "common/unique_resources.h"

#include <algorithm>

namespace tag_menu_host
{
std::wstring records_folder(HMODULE module)
{
    std::wstring name(32768, L'\0');
    name.resize(GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size())));
    return name.substr(0, name.find_last_of(L'\\')) + L"\\companion_records";
}

std::vector<std::wstring> record_files(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const common::unique_hfind search(FindFirstFileW((folder + L"\\*.record").c_str(), &found));
    for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &found) != FALSE)
    {
        names.push_back(found.cFileName);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void print_new_records(const std::wstring& folder, const std::vector<std::wstring>& before)
{
    for (int attempt = 0; attempt < 100; ++attempt, Sleep(100))
    {
        bool any = false;
        for (const auto& name : record_files(folder))
        {
            if (std::find(before.begin(), before.end(), name) != before.end())
            {
                continue;
            }
            any = true;
            print(name.substr(0, name.find(L".exe.") + 4) + L" received:");
            print(common::to_wide(common::read_whole_file(folder + L"\\" + name).bytes.c_str()));
        }
        if (any)
        {
            return;
        }
    }
    print(L"no companion program reported a start within 10 seconds");
}
} // namespace tag_menu_host
