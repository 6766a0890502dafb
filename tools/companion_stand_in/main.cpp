// Stands in for one of the suite's programs the extension starts. Built three times, once
// under each program's name. Each start writes one record (see companion_records.h); the
// request file it names is the whole argument text, else the last argument with its quotation
// marks removed. When TAG_COMPANION_SLEEP_MS is set, the program sleeps that long before
// recording, so a record that exists proves the program has finished.
#include "common/folders.h"
#include "common/unique_resources.h"
#include "common/whole_file.h"
#include "tools/companion_stand_in/companion_records.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <utility>

namespace
{
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
    Sleep(static_cast<DWORD>(_wtoi(common::environment_variable(L"TAG_COMPANION_SLEEP_MS").c_str())));
    companion_stand_in::companion_record record;
    record.program.resize(32768);
    record.program.resize(GetModuleFileNameW(nullptr, record.program.data(), 32768));
    record.arguments = argument_text();
    // Empty text is not split, as CommandLineToArgvW would then name this program.
    int count = 0;
    const common::unique_hlocal parts(record.arguments.empty() || is_file(record.arguments)
                                          ? nullptr
                                          : CommandLineToArgvW(record.arguments.c_str(), &count));
    const std::wstring file =
        parts && count > 0 ? static_cast<LPWSTR*>(parts.get())[count - 1] : record.arguments;
    if (is_file(file))
    {
        record.file = file;
        record.content = common::read_whole_file(file).bytes;
    }
    return companion_stand_in::write_record(companion_stand_in::records_folder(), record) ? 0 : 1;
}
