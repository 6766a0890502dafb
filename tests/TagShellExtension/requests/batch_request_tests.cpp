// Request files written into a temporary folder redirected to a scratch folder.
#include "TagShellExtension/requests/batch_dispatch.h"
#include "TagShellExtension/requests/batch_request.h"
#include "common/conversions.h"
#include "support/scratch_folder.h"
#include "request_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace
{
using namespace tag_extension;

std::string expected_text(const std::string& guid, const std::string& action, const std::string& parameters,
                          const std::vector<std::string>& paths)
{
    std::string files = "[]";
    if (!paths.empty())
    {
        files = "[";
        for (const auto& path : paths)
        {
            files += (files.size() > 1 ? ",\r\n" : "\r\n") +
                     std::string("        {\r\n            \"path\": \"") + path + "\"\r\n        }";
        }
        files += "\r\n    ]";
    }
    return "{\r\n    \"version\": \"1.0\",\r\n    \"job\": {\r\n        \"guid\": \"" + guid +
           "\",\r\n        \"action_type\": \"" + action + "\",\r\n        \"action_parameters\": \"" +
           parameters + "\"\r\n    },\r\n    \"files\": " + files + "\r\n}";
}

class request_file : public testing::Test
{
protected:
    test_support::scratch_folder scratch_;
    std::filesystem::path temp_ = scratch_ / L"temp";
    request_tests::temp_folder_override redirect_{temp_};
};

// The text of what `body` raises as E, or a note that it raised nothing.
template <typename E, typename Body> std::string raised(Body&& body)
{
    try
    {
        body();
    }
    catch (const E& error)
    {
        return error.what();
    }
    return "(nothing raised)";
}

TEST_F(request_file, holds_the_exact_pretty_printed_utf8_text_under_a_fresh_guid_name)
{
    struct case_row
    {
        std::vector<std::wstring> files;
        std::wstring parameters;
        std::vector<std::string> expected_paths;
        std::string expected_parameters;
    };
    const case_row rows[] = {
        {{}, L"", {}, ""},
        {{L"C:\\A\\b.txt", L"\\\\server\\share\\c d.jpg"},
         L"",
         {"C:\\\\A\\\\b.txt", "\\\\\\\\server\\\\share\\\\c d.jpg"},
         ""},
        {{L"C:\\x.jpg"}, L"Say \"hi\" / bye", {"C:\\\\x.jpg"}, "Say \\\"hi\\\" / bye"},
        {{L"C:\\Fotos\\M\u00fcller \u6771\u4eac \U0001F600.jpg"},
         L"\u00dcrlaub",
         {"C:\\\\Fotos\\\\M\xC3\xBCller \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80.jpg"},
         "\xC3\x9Crlaub"},
        {{L"C:\\tab\there.jpg"},
         std::wstring(L"a\b\t\n\f\r\x01\x1f\x7f", 9) + std::wstring(1, L'\0') + L"z",
         {"C:\\\\tab\\there.jpg"},
         "a\\b\\t\\n\\f\\r\\u0001\\u001F\x7F\\u0000z"},
    };
    const std::wregex name(
        L"lumora_([0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})\\.json\\.tmp");
    std::set<std::wstring> guids;
    for (const auto& row : rows)
    {
        const std::filesystem::path path = write_request({row.files, L"toggle_tags", row.parameters});
        EXPECT_TRUE(std::filesystem::equivalent(path.parent_path(), temp_));
        const std::wstring file_name = path.filename().wstring();
        std::wsmatch match;
        ASSERT_TRUE(std::regex_match(file_name, match, name)) << path;
        guids.insert(match[1].str());
        EXPECT_EQ(test_support::read_file(path), expected_text(common::to_utf8(match[1].str()), "toggle_tags",
                                                               row.expected_parameters, row.expected_paths))
            << common::to_utf8(row.parameters);
    }
    EXPECT_EQ(guids.size(), std::size(rows)) << "a GUID was used twice";
}

BOOL WINAPI write_part_then_fail(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                 LPOVERLAPPED overlapped)
{
    WriteFile(file, data, size / 2, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST_F(request_file, failures_raise_and_leave_no_file_behind)
{
    {
        request_tests::temp_folder_override missing(scratch_ / L"missing", false);
        EXPECT_NE(raised<std::filesystem::filesystem_error>(
                      [] {
                          write_request({{L"C:\\a.jpg"}, L"x", L""});
                      })
                      .find("temp_directory_path"),
                  std::string::npos);
    }

    batch_request unopenable{{L"C:\\a.jpg"}, L"toggle_tags", L"x"};
    unopenable.path = (scratch_ / L"no such folder" / L"r.json.tmp").wstring();
    EXPECT_EQ(raised<std::runtime_error>([&] { write_request(unopenable); }),
              "Failed to open file for writing: " + common::to_utf8(unopenable.path));

    const auto real_write = request_file_functions().write_file;
    request_file_functions().write_file = &write_part_then_fail;
    EXPECT_EQ(raised<std::runtime_error>(
                  [] {
                      write_request({{L"C:\\a.jpg"}, L"x", L""});
                  })
                  .rfind("Failed to write file: ", 0),
              0u);
    request_file_functions().write_file = real_write;
    EXPECT_TRUE(request_tests::request_files(temp_).empty());
}

TEST(action_type_name, follows_the_request_vocabulary_with_unassigned_values_unknown)
{
    const std::pair<int, const wchar_t*> rows[] = {
        {0, L"set_rating"},
        {2, L"remove_tags"},
        {3, L"toggle_tags"},
        {5, L"auto_tag"},
        {6, L"unknown"},
        {16, L"unknown"},
        {17, L"icon_set_builtin_icon"},
        {23, L"recognize_faces"},
        {26, L"wipe_all_people"},
        {27, L"unknown"},
        {255, L"unknown"},
    };
    for (const auto& [value, name] : rows)
    {
        EXPECT_EQ(action_type_name(static_cast<action_type>(value)), name) << value;
    }
}
} // namespace
