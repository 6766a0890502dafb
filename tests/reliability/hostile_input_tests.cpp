// Input Explorer or the suite may hand over that no one meant: huge and strange selections,
// tag icons that are no icons or enormous images, settings files from a hostile corpus.
#include "TagShellExtension/icons/gdiplus_bitmap.h"
#include "TagShellExtension/icons/png_icon_file.h"
#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/requests/process_launcher.h"
#include "common/conversions.h"
#include "common/folders.h"
#include "common/unique_resources.h"
#include "reliability/reliability_support.h"
#include "support/extension_dll.h"
#include "support/fake_shell_items.h"
#include "tools/explorer_driver/keyword_store.h"

#include <fmt/format.h>
#include <fmt/xchar.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <functional>

namespace
{
using namespace reliability;
using namespace std::string_literals;

// Runs the body on a thread with Explorer's smallest stack; an overflow ends the process.
void on_small_stack(const std::function<void()>& body)
{
    const common::unique_handle thread(CreateThread(
        nullptr, 256 * 1024,
        [](void* work) -> DWORD
        {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            (*static_cast<const std::function<void()>*>(work))();
            CoUninitialize();
            return 0;
        },
        const_cast<std::function<void()>*>(&body), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread.get(), INFINITE);
}

// Says every item carries every tag, so each tag entry needs its check-marked icon.
std::vector<std::wstring> every_tag;

using hostile_input = reliability_test;

TEST_F(hostile_input, long_strange_and_huge_selections_are_answered_and_every_path_reaches_the_request)
{
    suite_.write(test_support::suite_settings_json("{}"));
    tags_.write(tags_json(1));
    // The request is written, then the launch fails at once: neither shell route can be had.
    test_support::scoped_seam no_shell(tag_extension::shell_object_functions());
    no_shell->create_instance = [](REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* result) -> HRESULT
    { return *result = nullptr, REGDB_E_CLASSNOTREG; };

    // Deeper than MAX_PATH, made through the long-path form.
    std::wstring deep = (scratch_ / std::wstring(150, L'a') / std::wstring(150, L'b')).wstring();
    std::filesystem::create_directories(L"\\\\?\\" + deep);
    deep += L"\\photo.jpg";
    CloseHandle(
        CreateFileW((L"\\\\?\\" + deep).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_NE(GetFileAttributesW((L"\\\\?\\" + deep).c_str()), INVALID_FILE_ATTRIBUTES);

    // Every kind of character a file name may hold: punctuation, scripts, combining marks,
    // characters outside the BMP, invisible and private-use ones; an unpaired surrogate, which
    // UTF-8 cannot hold, and the replacement character it would become.
    std::vector<std::wstring> strange;
    for (const std::wstring name :
         {L" !#$%&'()+,-;=@[]^_`{}~.jpg", L"%PATH% ^& 'x'.jpg", L"R\u00e9sume\u0301 \u00a0\u200b\ufeff.jpg",
          L"\u5199\u771f \u0635\u0648\u0631\u0629 \u05ea\u05de\u05d5\u05e0\u05d4 "
          L"\u0444\u043e\u0442\u043e.jpg",
          L"\U0001F600\U0001F3D6\uFE0F\u200d.jpg", L"\ue000\uf8ff..dots...jpg", L"  leading blanks.jpg",
          L"del\u007fand\u0085next line.jpg", L"lone \xfffd surrogate.jpg"})
    {
        const auto path = scratch_ / name;
        CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        // Without a UTF-8 locale Wine cannot name some of these, and the test would test nothing.
        ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << common::to_utf8(name);
        strange.push_back(path.wstring());
    }
    strange.push_back((scratch_ / L"lone \xd800 surrogate.jpg").wstring()); // Wine cannot store it
    std::vector<std::wstring> many;
    for (int i = 0; i < 10'000; ++i)
    {
        many.push_back((scratch_ / fmt::format(L"item {:05}.jpg", i)).wstring());
    }

    const std::pair<const char*, std::vector<std::wstring>> selections[] = {
        {"a path longer than MAX_PATH", {deep}},
        {"a path of 32,000 characters", {L"C:\\" + std::wstring(31'990, L'x') + L".jpg"}},
        {"names with every character class", strange},
        {"10,000 items", many},
    };
    const auto command = in_process_command();
    for (const auto& [name, paths] : selections)
    {
        SCOPED_TRACE(name);
        const auto items = test_support::make_items(paths);
        EXPECT_EQ(read_entry(command.Get(), items.Get()).state, ECS_ENABLED);
        EXPECT_TRUE(answers_as_documented(read_cascade(command.Get(), items.Get())));
        const auto entry = find_entry(command.Get(), L"Tag 1");
        ASSERT_TRUE(entry);
        const test_support::log_mark mark;
        EXPECT_EQ(entry->Invoke(items.Get(), nullptr), S_FALSE); // no shell to start the batch processor
        // The unpaired surrogate's file is left out with one line naming it as converted; the others go on.
        std::vector<std::wstring> written, expected = paths;
        const auto lone = (scratch_ / L"lone \xd800 surrogate.jpg").wstring();
        const bool left_out = std::erase(expected, lone) == 1;
        const std::string log = mark.new_text();
        EXPECT_EQ(log.find("[ERROR] Left out of the request, its name has no UTF-8 form: " +
                           common::to_utf8(lone)) != log.npos,
                  left_out);
        EXPECT_EQ(log.find("Left out"), log.rfind("Left out"));

        const auto requests = request_files(temp_path_);
        ASSERT_EQ(requests.size(), 1u);
        rapidjson::Document request;
        request.Parse(test_support::read_file(requests[0]).c_str());
        std::filesystem::remove(requests[0]);
        ASSERT_TRUE(request.IsObject() && request.HasMember("files") && request["files"].IsArray());
        for (const auto& file : request["files"].GetArray())
        {
            written.push_back(common::to_wide(file["path"].GetString()));
        }
        EXPECT_TRUE(written == expected);
    }
}

TEST_F(hostile_input, tag_icons_that_are_no_icons_or_huge_images_fall_back_without_hanging)
{
    test_support::scoped_seam store(tag_extension::property_system_functions());
    store->get_property_store_from_parsing_name = [](PCWSTR, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID iid,
                                                     void** result) -> HRESULT
    { return explorer_driver::open_keyword_store(every_tag, iid, result); };
    const auto real_icon = test_support::read_file(common::module_folder() / L"Content\\Icons\\tag_work.ico");
    // 30000 x 30000 pixels of 32 bits, promised by a header alone.
    const auto lying_bitmap =
        "BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x30\x75\0\0\x30\x75\0\0\x01\0\x20\0"s + std::string(34, '\0');
    const std::pair<std::wstring, std::string> sources[] = {
        {L"text.ico", "just some text, no image at all"},
        {L"empty.ico", ""},
        {L"truncated.ico", real_icon.substr(0, 100)},
        {L"lying directory.ico", std::string("\0\0\1\0\xe8\x03", 6)},
        {L"lying header.bmp", lying_bitmap},
    };
    std::string tags;
    every_tag.clear();
    const auto add_tag = [&](const std::filesystem::path& icon)
    {
        every_tag.push_back(L"Tag " + std::to_wstring(every_tag.size() + 1));
        tags +=
            fmt::format(R"({}{{"name": "{}", "icon_not_tagged": "{}", "icon_when_tagged": "fallback.ico"}})",
                        tags.empty() ? "" : ",", common::to_utf8(every_tag.back()),
                        common::to_utf8(icon.generic_wstring()));
    };
    for (const auto& [name, bytes] : sources)
    {
        add_tag(scratch_.write(name, bytes));
    }
    add_tag(scratch_.write(L"folder.ico\\inside").parent_path());
    add_tag(L"CON"); // a device, beside the module
    // A tiny file that decodes to 64 MB: one fully transparent image 4096 pixels wide.
    {
        const tag_extension::gdiplus_session gdiplus;
        Gdiplus::GpBitmap* raw = nullptr;
        Gdiplus::DllExports::GdipCreateBitmapFromScan0(4096, 4096, 0, PixelFormat32bppARGB, nullptr, &raw);
        const tag_extension::bitmap_ptr bitmap(raw);
        ASSERT_TRUE(tag_extension::save_png_icon(bitmap.get(), (scratch_ / L"huge.ico").wstring()));
    }
    add_tag(scratch_ / L"huge.ico");
    suite_.write(test_support::suite_settings_json("{}"));
    tags_.write(R"({"tags": [)" + tags + "]}");

    const auto command = in_process_command();
    const auto entries = read_cascade(command.Get(), test_support::make_items({photo_}).Get());
    ASSERT_TRUE(answers_as_documented(entries));
    const std::wstring fallback = (common::module_folder() / L"fallback.ico").wstring();
    for (const auto& e : entries)
    {
        if (e.title.starts_with(L"Tag "))
        {
            const bool generated = e.icon.ends_with(L"_generated-tagged.ico");
            // Only the one real (if huge) image, tag 8, may get its check mark.
            EXPECT_TRUE(e.icon == fallback || (generated && e.title == L"Tag 8"))
                << common::to_utf8(e.title + L": " + e.icon);
            if (generated)
            {
                std::filesystem::remove(e.icon);
            }
        }
    }
}

TEST_F(hostile_input, hostile_settings_files_leave_every_call_of_the_dll_answering_on_a_small_stack)
{
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    const std::string texts[] = {
        std::string(100'000, '['),
        R"({"apps": [{"app_id": "sortwell", "settings": {"general": )" + deep + "}}], \"tags\": " + deep +
            "}",
        "\xEF\xBB\xBF{\"tags\": [{\"name\": \"after a byte-order mark\"}]}",
        "\xFF\xFE{\0\"\0t\0a\0g\0s\0\"\0:\0[\0]\0}\0"s,
        "{\"tags\": [{\"name\": \"raw\0NUL\"}], \"apps\": []}"s,
        "{\"tags\": [{\"name\": \"bad \xC0\xAF utf-8 \xED\xA0\x80 \xF4\x90\x80\x80 \xFF\"}]}",
        R"({"apps": [{"app_id": "sortwell\u0000", "status": "disabled\u0000!", "settings": {"general":
            {"showTagContextMenu": "\udc00", "enableTagHotkeys": 1.5e300}, "hotkeys": {"tagKey": ")" +
            std::string(100'000, 'K') + R"("}}}], "tags": [{"name": "{} {:X} %s %n \\ \" \n \t \u0000 end"},
            {"name": ")" +
            std::string(1'000'000, 'n') + R"("}, {"name": "\udc00\ud83d\ude00",
            "icon_not_tagged": "\\\\server\\share\\x.ico", "icon_when_tagged": "\\\\?\\C:\\CON"},
            {"name": "device", "icon_not_tagged": "CON", "icon_when_tagged": ")" +
            std::string(32'000, 'i') + R"("}, {"name": 12, "order": {"deep": [1]}}, 7, null, [[]]]})",
        tags_json(10'000),
        R"({"tags": [{"name": "dup", "name": "licate"}], "tags": 3, "apps": [1, "x", {"app_id": ""}, {}]})",
    };
    test_support::extension_dll dll;
    {
        const auto command = dll.create_command();
        ASSERT_TRUE(command);
        const auto items = test_support::make_items({photo_});
        for (const auto& text : texts)
        {
            SCOPED_TRACE(text.substr(0, 80));
            suite_.write(text);
            tags_.write(text);
            on_small_stack(
                [&]
                {
                    const auto top = read_entry(command.Get(), items.Get());
                    EXPECT_TRUE(top.state_result == S_OK && top.title_result == S_OK && !top.title.empty());
                    EXPECT_TRUE(answers_as_documented(read_cascade(command.Get(), items.Get())));
                });
        }
    }
    EXPECT_EQ(dll.can_unload_now(), S_OK);
}
} // namespace
