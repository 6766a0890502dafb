#include "tools/companion_stand_in/companion_records.h"

#include "common/conversions.h"
#include "common/folders.h"
#include "common/unique_resources.h"
#include "common/whole_file.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cwchar>
#include <utility>

namespace companion_stand_in
{
std::wstring records_folder(HMODULE module)
{
    const std::wstring folder = common::environment_variable(L"TAG_COMPANION_RECORDS");
    if (!folder.empty())
    {
        return folder;
    }
    std::wstring name(32768, L'\0');
    name.resize(GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size())));
    return name.substr(0, name.find_last_of(L'\\')) + L"\\companion_records";
}

std::vector<std::wstring> record_files(const std::wstring& folder, std::wstring_view exe_name)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + L"\\" + std::wstring(exe_name) + (exe_name.empty() ? L"*" : L".*");
    const common::unique_hfind search(FindFirstFileW((pattern + L".record").c_str(), &found));
    for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &found) != FALSE)
    {
        names.push_back(found.cFileName);
    }
    // The time in each name is zero-padded, so the names sort in the order of the starts.
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<companion_record> read_record(const std::wstring& path)
{
    rapidjson::Document record;
    record.Parse(common::read_whole_file(path).bytes.c_str());
    if (record.HasParseError() || !record.IsObject())
    {
        return std::nullopt;
    }
    const auto text = [&record](const char* name)
    {
        const auto found = record.FindMember(name);
        return found != record.MemberEnd() && found->value.IsString()
                   ? std::string(found->value.GetString(), found->value.GetStringLength())
                   : std::string();
    };
    return companion_record{common::to_wide(text("program")), common::to_wide(text("arguments")),
                            common::to_wide(text("file")), text("content")};
}

bool write_record(const std::wstring& folder, const companion_record& record)
{
    rapidjson::StringBuffer line;
    rapidjson::Writer<rapidjson::StringBuffer> writer(line);
    writer.StartObject();
    for (const auto& [key, value] :
         {std::pair<const char*, std::string>{"program", common::to_utf8(record.program)},
          {"arguments", common::to_utf8(record.arguments)},
          {"file", common::to_utf8(record.file)},
          {"content", record.content}})
    {
        writer.Key(key);
        writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
    }
    writer.EndObject();
    // One file per record, moved into place once whole: appends from programs running side by
    // side are not atomic under Wine, and a reader never sees half a record. The counter orders
    // the records across processes.
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    wchar_t stamp[48] = {};
    swprintf(stamp, 48, L".%020lld.%lu.record", static_cast<long long>(now.QuadPart), GetCurrentProcessId());
    const std::wstring program_name = record.program.substr(record.program.find_last_of(L'\\') + 1);
    CreateDirectoryW(folder.c_str(), nullptr);
    return common::replace_file(folder + L"\\" + program_name + stamp,
                                std::string_view(line.GetString(), line.GetSize()));
}
} // namespace companion_stand_in
