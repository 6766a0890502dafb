#include "TagShellExtension/requests/batch_request.h"
#include "common/whole_file.h"
#include "common/conversions.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <tuple>

namespace
{
using namespace tag_extension;

TEST(request_file, holds_the_exact_pretty_printed_utf8_text_under_a_fresh_guid_name_in_the_temp_folder)
{
    // Files and parameters written, then the parameters and the files' array as JSON text.
    const std::tuple<std::vector<std::wstring>, std::wstring, std::string, std::string> rows[] = {
        {{}, L"", "", "]"},
        {{L"\\\\server\\share\\M\u00fcller \u6771\u4eac \U0001F600.jpg", L"C:\\tab\there.jpg"},
         L"Say \"hi\" / \u00dcrlaub" + std::wstring(L"\b\t\n\f\r\x01\x1f\x7f\0z", 10),
         "Say \\\"hi\\\" / \xC3\x9Crlaub\\b\\t\\n\\f\\r\\u0001\\u001F\x7F\\u0000z",
         "\r\n        {\r\n            \"path\": \"\\\\\\\\server\\\\share\\\\M\xC3\xBCller "
         "\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80.jpg\"\r\n        },\r\n        {\r\n            "
         "\"path\": \"C:\\\\tab\\there.jpg\"\r\n        }\r\n    ]"},
    };
    const std::wregex name(L"lumora_([0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12})\\.json\\.tmp");
    std::set<std::wstring> guids;
    for (const auto& [files, parameters, expected_parameters, expected_files] : rows)
    {
        const std::wstring file_name =
            std::filesystem::path(write_request({files, L"toggle_tags", parameters})).filename().wstring();
        std::wsmatch match;
        ASSERT_TRUE(std::regex_match(file_name, match, name)) << file_name;
        EXPECT_TRUE(guids.insert(match[1].str()).second) << "a GUID was used twice";
        const auto path = std::filesystem::temp_directory_path() / file_name;
        EXPECT_EQ(
            test_support::read_file(path),
            "{\r\n    \"version\": \"1.0\",\r\n    \"job\": {\r\n        \"guid\": \"" +
                common::to_utf8(match[1].str()) +
                "\",\r\n        \"action_type\": \"toggle_tags\",\r\n        \"action_parameters\": \"" +
                expected_parameters + "\"\r\n    },\r\n    \"files\": [" + expected_files + "\r\n}");
        std::filesystem::remove(path);
    }
}

TEST(request_file, a_failed_write_or_no_file_utf8_can_name_raises_and_leaves_no_file)
{
    const test_support::scratch_folder scratch;
    const auto path = (scratch / L"r.json.tmp").wstring();
    const auto half_write = [](HANDLE file, LPCVOID data, DWORD size, LPDWORD out, LPOVERLAPPED)
    { return WriteFile(file, data, size / 2, out, nullptr), FALSE; };
    for (const auto& [name, write] : {std::pair{L"C:\\a.jpg", +half_write}, {L"C:\\\xd800.jpg", &WriteFile}})
    {
        const test_support::scoped_seam seam(common::file_write_functions(), {write});
        EXPECT_THROW(write_request({{name}, L"toggle_tags", L"", "", path}), std::runtime_error);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}
} // namespace
