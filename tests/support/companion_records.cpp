#include "support/companion_records.h"

#include "common/conversions.h"
#include "support/explorer_calls.h"
#include "support/scratch_folder.h"

#include <windows.h>

#include <rapidjson/document.h>

#include <algorithm>
#include <thread>

namespace test_support
{
namespace
{
// TAG_COMPANION_RECORDS when set, else the test executable's folder\companion_records.
std::filesystem::path companion_records_folder()
{
    const auto folder = environment_variable(L"TAG_COMPANION_RECORDS");
    return folder.empty() ? executable_folder() / L"companion_records" : std::filesystem::path(folder);
}

} // namespace

std::vector<companion_record> take_companion_records(std::wstring_view exe_name)
{
    // Each start leaves <exe name>.<time>.<pid>.record; the names sort in the order of the starts.
    const std::wstring prefix = std::wstring(exe_name) + L".";
    std::vector<std::filesystem::path> files;
    std::error_code missing;
    for (const auto& file : std::filesystem::directory_iterator(companion_records_folder(), missing))
    {
        const auto name = file.path().filename().wstring();
        if (name.starts_with(prefix) && name.ends_with(L".record"))
        {
            files.push_back(file.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<companion_record> records;
    for (const auto& file : files)
    {
        rapidjson::Document record;
        record.Parse(read_file(file).c_str());
        std::filesystem::remove(file, missing);
        if (!record.HasParseError() && record.IsObject())
        {
            // The stand-in writes every member, and renames a record into place only when whole.
            const auto text = [&record](const char* name)
            { return std::string(record[name].GetString(), record[name].GetStringLength()); };
            records.push_back({common::to_wide(text("program")), common::to_wide(text("arguments")),
                               common::to_wide(text("file")), text("content")});
        }
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
