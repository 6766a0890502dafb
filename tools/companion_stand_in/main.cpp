// Stands in for one of the suite's programs the extension starts. Built three times, once
// under each program's name.
//
// Each start writes one record file: TAG_COMPANION_RECORDS\<exe name>.<time>.<pid>.record when
// that variable names a folder, else in <own folder>\companion_records. The record is one
// JSON object (UTF-8):
//   {"program": own full path, "arguments": the command line after the program name,
//    "file": the request file the arguments name, or "" (the whole argument text, else the
//            last argument with its quotation marks removed),
//    "content": that file's bytes, or ""}
// When TAG_COMPANION_SLEEP_MS is set, the program sleeps that long before recording, so a
// record that exists proves the program has finished.
#include "common/conversions.h"
#include "common/unique_resources.h"
#include "common/whole_file.h"

#include <windows.h>
#include <shellapi.h>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cwchar>
#include <string>
#include <utility>

namespace
{
std::wstring environment_variable(const wchar_t* name)
{
    std::wstring value(32768, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), 32768));
    return value;
}

// What follows the program name, the way the program itself would parse it.
std::wstring argument_text()
{
    const std::wstring line = GetCommandLineW();
    const bool quoted = !line.empty() && line[0] == L'"';
    size_t at = line.find_first_of(quoted ? L"\"" : L" \t", quoted ? 1 : 0);
    at = line.find_first_not_of(L" \t", at == std::wstring::npos || !quoted ? at : at + 1);
    return at == std::wstring::npos ? std::wstring() : line.substr(at);
}

// INVALID_FILE_ATTRIBUTES has the directory bit set too.
bool is_file(const std::wstring& path)
{
    return !path.empty() && (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
} // namespace

int main()
{
    Sleep(static_cast<DWORD>(_wtoi(environment_variable(L"TAG_COMPANION_SLEEP_MS").c_str())));
    std::wstring program(32768, L'\0');
    program.resize(GetModuleFileNameW(nullptr, program.data(), 32768));
    const size_t separator = program.find_last_of(L'\\');
    std::wstring folder = environment_variable(L"TAG_COMPANION_RECORDS");
    folder = folder.empty() ? program.substr(0, separator) + L"\\companion_records" : folder;
    CreateDirectoryW(folder.c_str(), nullptr);

    const std::wstring arguments = argument_text();
    // The request file: the whole argument text, else its last argument. Empty text is not
    // split, as CommandLineToArgvW would then name this program.
    int count = 0;
    const common::unique_hlocal parts(
        arguments.empty() || is_file(arguments) ? nullptr : CommandLineToArgvW(arguments.c_str(), &count));
    std::wstring file = parts && count > 0 ? static_cast<LPWSTR*>(parts.get())[count - 1] : arguments;
    file = is_file(file) ? file : std::wstring();
    rapidjson::StringBuffer line;
    rapidjson::Writer<rapidjson::StringBuffer> writer(line);
    writer.StartObject();
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"program", common::to_utf8(program)},
                                     {"arguments", common::to_utf8(arguments)},
                                     {"file", common::to_utf8(file)},
                                     {"content", file.empty() ? "" : common::read_whole_file(file).bytes}})
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
    const std::wstring name = folder + L"\\" + program.substr(separator + 1) + stamp;
    return common::replace_file(name, std::string_view(line.GetString(), line.GetSize())) ? 0 : 1;
}
