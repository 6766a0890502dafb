#include "companion_records.h"

#include "common/conversions.h"
#include "common/whole_file.h"
#include "output.h"

#include <algorithm>

namespace tag_menu_host
{
void print_new_records(const std::wstring& folder, const std::vector<std::wstring>& before)
{
    for (int attempt = 0; attempt < 100; ++attempt, Sleep(100))
    {
        bool any = false;
        for (const auto& name : companion_stand_in::record_files(folder))
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
