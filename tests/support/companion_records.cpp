#include "support/companion_records.h"

#include "common/conversions.h"
#include "support/scratch_folder.h"

#include <windows.h>

#include <rapidjson/document.h>

#include <sstream>
#include <thread>

namespace test_support
{
namespace
{
std::wstring member(const rapidjson::Value& record, const char* name)
{
    const auto found = record.FindMember(name);
    return found != record.MemberEnd() && found->value.IsString() ? common::to_wide(found->value.GetString())
                                                                  : std::wstring();
}
} // namespace

std::filesystem::path companion_records_folder()
{
    wchar_t folder[32768] = {};
    const DWORD length = GetEnvironmentVariableW(L"TAG_COMPANION_RECORDS", folder, 32768);
    if (length > 0 && length < 32768)
    {
        return std::wstring(folder, length);
    }
    return executable_folder() / L"companion_records";
}

std::vector<companion_record> take_companion_records(std::wstring_view exe_name)
{
    // Moved aside first: a stand-in that appends meanwhile starts a fresh file.
    const auto source = companion_records_folder() / (std::wstring(exe_name) + L".log");
    const auto taken = companion_records_folder() / (std::wstring(exe_name) + L".taken");
    if (!MoveFileExW(source.c_str(), taken.c_str(), MOVEFILE_REPLACE_EXISTING))
    {
        return {};
    }
    std::istringstream lines(read_file(taken));
    DeleteFileW(taken.c_str());

    std::vector<companion_record> records;
    std::string line;
    while (std::getline(lines, line))
    {
        rapidjson::Document record;
        if (record.Parse(line.c_str()).HasParseError() || !record.IsObject())
        {
            continue;
        }
        companion_record entry{
            member(record, "program"), member(record, "arguments"), member(record, "file"), {}};
        const auto content = record.FindMember("content");
        if (content != record.MemberEnd() && content->value.IsString())
        {
            entry.content.assign(content->value.GetString(), content->value.GetStringLength());
        }
        records.push_back(std::move(entry));
    }
    return records;
}

std::vector<companion_record> wait_for_companion_records(std::wstring_view exe_name, size_t count,
                                                         std::chrono::milliseconds timeout)
{
    std::vector<companion_record> records;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (records.size() < count && std::chrono::steady_clock::now() < deadline)
    {
        auto more = take_companion_records(exe_name);
        records.insert(records.end(), std::make_move_iterator(more.begin()),
                       std::make_move_iterator(more.end()));
        if (records.size() < count)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    return records;
}
} // namespace test_support
