#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tag_extension
{
// One job for a companion executable, written as a JSON file it reads and owns.
struct batch_request
{
    std::vector<std::wstring> files;
    std::wstring action_type;
    std::wstring action_parameters;
    // Both set by make_request_path; a preset path is written as it stands.
    std::string guid{};
    std::wstring path{};
};

inline constexpr const char* guid_creation_error = "Unable to create GUID";
inline constexpr const char* open_for_writing_error = "Failed to open file for writing: ";
inline constexpr const char* write_error = "Failed to write file: ";

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case, no braces.
std::string guid_text(const GUID& guid);
// The user's temporary folder; raises std::filesystem::filesystem_error ("temp_directory_path")
// when it cannot be obtained or is not a directory.
std::wstring temporary_folder();
// A fresh GUID and temporary folder\lumora_<GUID>.json.tmp, stored in the request.
void make_request_path(batch_request& request);
// The file's exact bytes: pretty-printed UTF-8 with CR LF line breaks and no final line break.
std::string request_text(const batch_request& request);
// Writes the request (naming it first when its path is empty) and returns the file's path.
// A failed write removes the partial file and raises, so no companion is started on it.
std::wstring write_request(const batch_request& request);

// The OS calls that Wine cannot make fail once a file is open.
struct request_file_api
{
    BOOL(WINAPI* write_file)
    (HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) = &WriteFile;
    BOOL(WINAPI* close_handle)(HANDLE handle) = &CloseHandle;
};
request_file_api& request_file_functions();
} // namespace tag_extension
