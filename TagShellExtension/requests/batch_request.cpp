#include "TagShellExtension/requests/batch_request.h"

#include "common/conversions.h"
#include "common/logger.h"
#include "common/whole_file.h"

#include <objbase.h>

#include <fmt/format.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace tag_extension
{
namespace
{
constexpr const char* guid_creation_error = "Unable to create GUID";
constexpr const char* open_for_writing_error = "Failed to open file for writing: ";
constexpr const char* write_error = "Failed to write file: ";

using get_temp_path_function = DWORD(WINAPI*)(DWORD, LPWSTR);

// GetTempPath2W exists only on newer systems (and not in Wine): look it up, never import it.
get_temp_path_function temp_path_query()
{
    static const get_temp_path_function query = []
    {
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetTempPath2W") : nullptr;
        return found != nullptr ? reinterpret_cast<get_temp_path_function>(reinterpret_cast<void*>(found))
                                : &GetTempPathW;
    }();
    return query;
}

[[noreturn]] void raise_temp_folder_error(const std::filesystem::path& path, std::error_code error)
{
    throw std::filesystem::filesystem_error("temp_directory_path", path, error);
}

template <typename Writer> void write_string(Writer& writer, std::string_view text)
{
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

std::string guid_text(const GUID& guid)
{
    return fmt::format("{:08X}-{:04X}-{:04X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}",
                       static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                       guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                       guid.Data4[6], guid.Data4[7]);
}

std::wstring temporary_folder()
{
    std::wstring folder(MAX_PATH + 1, L'\0');
    DWORD length = temp_path_query()(static_cast<DWORD>(folder.size()), folder.data());
    if (length > folder.size())
    {
        folder.assign(length, L'\0');
        length = temp_path_query()(static_cast<DWORD>(folder.size()), folder.data());
    }
    if (length == 0 || length > folder.size())
    {
        raise_temp_folder_error({},
                                std::error_code(static_cast<int>(GetLastError()), std::system_category()));
    }
    folder.resize(length);
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
    {
        raise_temp_folder_error(folder, error ? error : std::make_error_code(std::errc::not_a_directory));
    }
    return folder;
}

void make_request_path(batch_request& request)
{
    const std::filesystem::path folder = temporary_folder();
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid)))
    {
        throw std::runtime_error(guid_creation_error);
    }
    request.guid = guid_text(guid);
    request.path = (folder / (L"lumora_" + common::to_wide(request.guid) + L".json.tmp")).wstring();
}

std::string request_text(const batch_request& request)
{
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 4);
    writer.StartObject();
    writer.Key("version");
    writer.String("1.0");
    writer.Key("job");
    writer.StartObject();
    writer.Key("guid");
    write_string(writer, request.guid);
    writer.Key("action_type");
    write_string(writer, common::to_utf8(request.action_type));
    writer.Key("action_parameters");
    write_string(writer, common::to_utf8(request.action_parameters));
    writer.EndObject();
    writer.Key("files");
    writer.StartArray();
    for (const auto& file : request.files)
    {
        writer.StartObject();
        writer.Key("path");
        write_string(writer, common::to_utf8(file));
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();

    // Companions read the file as text: line breaks are CR LF. Strings never hold a raw line
    // feed (the writer escapes it), so every one here is a line break.
    const std::string_view compact(buffer.GetString(), buffer.GetSize());
    std::string text;
    text.reserve(compact.size() + compact.size() / 16);
    for (const char c : compact)
    {
        if (c == '\n')
        {
            text += '\r';
        }
        text += c;
    }
    return text;
}

// A name with an unpaired surrogate has no UTF-8 form: written with U+FFFD in its place it
// would name another file.
bool has_unpaired_surrogate(std::wstring_view text)
{
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (IS_SURROGATE_PAIR(text[i], i + 1 < text.size() ? text[i + 1] : L'\0'))
        {
            ++i;
        }
        else if (text[i] >= 0xD800 && text[i] <= 0xDFFF)
        {
            return true;
        }
    }
    return false;
}

void leave_out_unconvertible_files(std::vector<std::wstring>& files)
{
    const size_t selected = files.size();
    std::erase_if(files,
                  [](const std::wstring& file)
                  {
                      const bool unconvertible = has_unpaired_surrogate(file);
                      if (unconvertible)
                      {
                          common::log(common::log_level::error,
                                      L"Left out of the request, its name has no UTF-8 form: {}", file);
                      }
                      return unconvertible;
                  });
    if (selected > 0 && files.empty())
    {
        throw std::runtime_error("No file of the request has a name that UTF-8 can hold");
    }
}
} // namespace

std::wstring write_request(const batch_request& source)
{
    batch_request request = source;
    leave_out_unconvertible_files(request.files);
    if (request.path.empty())
    {
        make_request_path(request);
    }
    const std::string text = request_text(request);

    // Opened by its wide name, so the file lies at exactly the path handed to the companion. A
    // truncated request would make the companion act on part of the selection: a failed write
    // leaves no file and stops the launch.
    switch (common::write_whole_file(request.path, text))
    {
    case common::write_outcome::written:
        break;
    case common::write_outcome::not_opened:
        throw std::runtime_error(open_for_writing_error + common::to_utf8(request.path));
    case common::write_outcome::not_written:
        throw std::runtime_error(write_error + common::to_utf8(request.path));
    }
    return request.path;
}
} // namespace tag_extension
