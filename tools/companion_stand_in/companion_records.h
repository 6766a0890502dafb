#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The record files the companion stand-ins write, one per start, and their readers. A record is
// <folder>\<exe name>.<time>.<pid>.record, one JSON object in UTF-8:
//   {"program": the stand-in's full path, "arguments": its command line after the program name,
//    "file": the request file the arguments name, or "", "content": that file's bytes, or ""}
namespace companion_stand_in
{
struct companion_record
{
    std::wstring program;
    std::wstring arguments;
    std::wstring file;
    std::string content;
};

// TAG_COMPANION_RECORDS when set, else companion_records beside the module (null: this program).
std::wstring records_folder(HMODULE module = nullptr);

// The record files of one program ("Lumora.exe"), or of all for an empty name, by file name in
// the order of the starts.
std::vector<std::wstring> record_files(const std::wstring& folder, std::wstring_view exe_name = {});

// A record file's fields; none when it holds no record.
std::optional<companion_record> read_record(const std::wstring& path);

// Writes a record of this program's start under a new name; false when it cannot be written.
bool write_record(const std::wstring& folder, const companion_record& record);
} // namespace companion_stand_in
