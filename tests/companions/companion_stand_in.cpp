// Stands in for one of the suite's programs the extension starts. Built three times, once
// under each program's name.
//
// Each start appends one line to a record file: TAG_COMPANION_RECORDS\<exe name>.log when
// that variable names a folder, else <own folder>\companion_records\<exe name>.log. The line
// is one JSON object (UTF-8):
//   {"program": own full path, "arguments": the command line after the program name,
//    "file": the request file the arguments name, or "" (the whole argument text, else the
//            last argument with its quotation marks removed),
//    "content": that file's bytes, or ""}
// When TAG_COMPANION_SLEEP_MS is set, the program sleeps that long before recording, so a
// record that exists proves the program has finished.
#include <windows.h>
#include <shellapi.h>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <fstream>
#include <sstream>
#include <string>

namespace
{
std::string to_utf8(const std::wstring& text)
{
    if (text.empty())
    {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::wstring environment(const wchar_t* name)
{
    wchar_t value[32768] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

// What follows the program name, the way the program itself would parse it.
std::wstring argument_text()
{
    const std::wstring line = GetCommandLineW();
    size_t at = 0;
    if (!line.empty() && line[0] == L'"')
    {
        const size_t closing = line.find(L'"', 1);
        at = closing == std::wstring::npos ? line.size() : closing + 1;
    }
    else
    {
        at = line.find_first_of(L" \t");
        at = at == std::wstring::npos ? line.size() : at;
    }
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t'))
    {
        ++at;
    }
    return line.substr(at);
}

bool is_file(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring named_file(const std::wstring& arguments)
{
    if (is_file(arguments))
    {
        return arguments;
    }
    int count = 0;
    LPWSTR* parts = arguments.empty() ? nullptr : CommandLineToArgvW(arguments.c_str(), &count);
    std::wstring last = parts != nullptr && count > 0 ? parts[count - 1] : L"";
    LocalFree(parts);
    return is_file(last) ? last : std::wstring();
}

std::string file_content(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}
} // namespace

int main()
{
    const std::wstring sleep_ms = environment(L"TAG_COMPANION_SLEEP_MS");
    if (!sleep_ms.empty())
    {
        Sleep(static_cast<DWORD>(std::stoul(sleep_ms)));
    }

    wchar_t own_path[32768] = {};
    GetModuleFileNameW(nullptr, own_path, 32768);
    const std::wstring program = own_path;
    const size_t separator = program.find_last_of(L'\\');
    std::wstring folder = environment(L"TAG_COMPANION_RECORDS");
    if (folder.empty())
    {
        folder = program.substr(0, separator) + L"\\companion_records";
    }
    CreateDirectoryW(folder.c_str(), nullptr);

    const std::wstring arguments = argument_text();
    const std::wstring file = named_file(arguments);
    const std::string content = file.empty() ? std::string() : file_content(file);

    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    const auto text = [&writer](const std::string& value)
    { writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size())); };
    writer.StartObject();
    writer.Key("program");
    text(to_utf8(program));
    writer.Key("arguments");
    text(to_utf8(arguments));
    writer.Key("file");
    text(to_utf8(file));
    writer.Key("content");
    text(content);
    writer.EndObject();
    const std::string line = std::string(buffer.GetString(), buffer.GetSize()) + "\n";

    // One append per record, so records of programs running side by side stay whole.
    const std::wstring record_path = folder + L"\\" + program.substr(separator + 1) + L".log";
    const HANDLE record = CreateFileW(record_path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (record == INVALID_HANDLE_VALUE)
    {
        return 1;
    }
    DWORD written = 0;
    WriteFile(record, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(record);
    return 0;
}
