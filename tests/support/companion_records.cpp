#include "support/companion_records.h"

#include <windows.h>

#include <thread>

namespace test_support
{
std::vector<companion_record> take_companion_records(std::wstring_view exe_name)
{
    const std::wstring folder = companion_stand_in::records_folder();
    std::vector<companion_record> records;
    for (const auto& name : companion_stand_in::record_files(folder, exe_name))
    {
        const std::wstring path = folder + L"\\" + name;
        if (auto record = companion_stand_in::read_record(path))
        {
            records.push_back(std::move(*record));
        }
        DeleteFileW(path.c_str());
    }
    return records;
}

std::vector<companion_record> wait_for_companion_records(std::wstring_view exe_name, size_t count,
                                                         std::chrono::milliseconds timeout)
{
    std::vector<companion_record> records;
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;
         records.size() < count && std::chrono::steady_clock::now() < deadline;)
    {
        const auto more = take_companion_records(exe_name);
        records.insert(records.end(), more.begin(), more.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(records.size() < count ? 50 : 0));
    }
    return records;
}
} // namespace test_support
