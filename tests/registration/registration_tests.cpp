// Installing the way users do, through the shipped registration files, then creating the
// command the way Explorer does: COM's in-process activation from the registry.
#include "TagShellExtension/com_module.h"
#include "common/conversions.h"
#include "support/extension_dll.h"
#include "support/product_files.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <shobjidl.h>
#include <wrl/client.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace
{
using Microsoft::WRL::ComPtr;
using tag_extension::CLSID_tag_context_main_menu_item;

constexpr wchar_t dll_name[] = L"TagShellExtension.dll";
constexpr std::wstring_view placeholder = L"@TAG_SHELL_EXTENSION_DLL@";
constexpr std::wstring_view per_user_classes = L"HKEY_CURRENT_USER\\Software\\Classes\\";
constexpr std::wstring_view machine_classes = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\";

// The file as shipped, read from the source tree (reached through Z: under Wine).
std::wstring shipped_file(const wchar_t* name)
{
    const auto root = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
    return common::to_wide(
        test_support::read_file(std::filesystem::path(L"Z:") / root / L"packaging" / name));
}

std::wstring replaced(std::wstring text, std::wstring_view from, std::wstring_view to)
{
    for (auto at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
    {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The keys below HKCU\Software\Classes that a file's sections name, added or removed.
std::vector<std::wstring> section_keys(const std::wstring& text)
{
    std::vector<std::wstring> keys;
    for (auto at = text.find(L"\n["); at != std::wstring::npos; at = text.find(L"\n[", at + 1))
    {
        const auto start = text.find(per_user_classes, at) + per_user_classes.size();
        keys.push_back(text.substr(start, text.find(L']', start) - start));
    }
    return keys;
}

// reg import as register.ps1 runs it, from UTF-16 with a byte-order mark; 0 when every line applied.
DWORD reg_import(const test_support::scratch_folder& folder, const wchar_t* name, const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    const auto file = folder.write(name, bytes);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(system) + L"\\reg.exe\" import \"" + file.wstring() + L"\" /reg:64";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES; // no handles: reg's messages go nowhere
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
    {
        return GetLastError();
    }
    WaitForSingleObject(process.hProcess, 60'000);
    DWORD code = ERROR_TIMEOUT;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

bool key_exists(HKEY root, const std::wstring& subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring per_user_value(const std::wstring& subkey, const wchar_t* name)
{
    wchar_t text[1024] = {};
    DWORD size = sizeof(text);
    RegGetValueW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + subkey).c_str(), name, RRF_RT_REG_SZ, nullptr,
                 text, &size);
    return text;
}

bool running_under_wine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring title_of(IExplorerCommand* command)
{
    PWSTR text = nullptr;
    command->GetTitle(nullptr, &text);
    std::wstring title = text != nullptr ? text : L"";
    CoTaskMemFree(text);
    return title;
}

// The built DLL registered for the current user with the shipped files, for the life of the object.
class per_user_registration
{
public:
    per_user_registration()
    {
        const auto path = test_support::dll_path().wstring();
        text_ = replaced(shipped_file(L"TagShellExtension.reg.in"), placeholder,
                         replaced(replaced(path, L"\\", L"\\\\"), L"\"", L"\\\""));
        imported_ = reg_import(folder_, L"register.reg", text_) == 0;
        // Wine's HKEY_CLASSES_ROOT, and so its COM, shows only the machine's classes, never
        // HKCU\Software\Classes: there the same keys also go machine-wide (into the test prefix),
        // always, so that a copy left by an aborted run is replaced and removed too.
        machine_wide_ = running_under_wine();
        if (imported_ && machine_wide_)
        {
            imported_ =
                reg_import(folder_, L"machine.reg", replaced(text_, per_user_classes, machine_classes)) == 0;
        }
    }
    ~per_user_registration() { remove(); }
    per_user_registration(const per_user_registration&) = delete;
    per_user_registration& operator=(const per_user_registration&) = delete;

    bool imported() const { return imported_; }
    const std::wstring& text() const { return text_; }

    bool remove()
    {
        if (removed_)
        {
            return true;
        }
        removed_ = true;
        const auto removal = shipped_file(L"TagShellExtension.unregister.reg");
        bool removed = reg_import(folder_, L"unregister.reg", removal) == 0;
        if (machine_wide_)
        {
            removed = reg_import(folder_, L"unmachine.reg",
                                 replaced(removal, per_user_classes, machine_classes)) == 0 &&
                      removed;
        }
        return removed;
    }

private:
    test_support::scratch_folder folder_;
    std::wstring text_;
    bool imported_ = false;
    bool machine_wide_ = false;
    bool removed_ = false;
};

TEST(registration, per_user_entries_let_com_create_the_command_run_its_cascade_and_unload_it)
{
    ASSERT_EQ(GetModuleHandleW(dll_name), nullptr);
    test_support::settings_override settings{test_support::suite_settings_name};
    settings.write(test_support::suite_settings_json(
        "{}", "enabled",
        R"({"general": {"showAutoTagContextMenu": false},)"
        R"( "people_recognition": {"show_recognize_faces_context_menu": false}})"));
    test_support::settings_override tags{test_support::tag_definitions_name};
    tags.write(R"({"version": "1.0", "tags": [{"name": "Holiday"}, {"name": "Work"}]})");

    per_user_registration registration;
    ASSERT_TRUE(registration.imported());
    for (const auto* verb : {L"*\\shell\\Lumora.Tag", L"Directory\\shell\\Lumora.Tag"})
    {
        EXPECT_EQ(per_user_value(verb, L"ExplorerCommandHandler"), L"{A2877438-9A16-4629-912A-1223B4E3B025}")
            << verb;
    }
    {
        ComPtr<IExplorerCommand> command;
        ASSERT_EQ(CoCreateInstance(CLSID_tag_context_main_menu_item, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IExplorerCommand, reinterpret_cast<void**>(command.GetAddressOf())),
                  S_OK);
        const HMODULE module = GetModuleHandleW(dll_name);
        ASSERT_NE(module, nullptr);
        wchar_t loaded[MAX_PATH] = {};
        GetModuleFileNameW(module, loaded, MAX_PATH);
        EXPECT_EQ(lstrcmpiW(loaded, test_support::dll_path().c_str()), 0)
            << "loaded from " << common::to_utf8(loaded);
        EXPECT_EQ(title_of(command.Get()), L"Tag");

        ComPtr<IEnumExplorerCommand> entries;
        ASSERT_EQ(command->EnumSubCommands(&entries), S_OK);
        std::vector<std::wstring> titles;
        ComPtr<IExplorerCommand> entry;
        while (entries->Next(1, &entry, nullptr) == S_OK)
        {
            titles.push_back(title_of(entry.Get()));
            entry.Reset();
        }
        EXPECT_EQ(titles,
                  (std::vector<std::wstring>{L"Holiday", L"Work", L"All tags...", L"", L"Remove all tags"}));
    }
    // The default delay would keep an unused DLL for minutes.
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(GetModuleHandleW(dll_name), nullptr) << "released objects still hold the DLL";
}

TEST(registration, unregistering_removes_every_key_the_registration_wrote)
{
    per_user_registration registration;
    ASSERT_TRUE(registration.imported());
    const auto keys = section_keys(registration.text());
    ASSERT_FALSE(keys.empty());
    for (const auto& key : keys)
    {
        EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, L"Software\\Classes\\" + key)) << common::to_utf8(key);
    }

    ASSERT_TRUE(registration.remove());
    for (const auto& key : keys)
    {
        EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, L"Software\\Classes\\" + key)) << common::to_utf8(key);
        EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, key)) << common::to_utf8(key);
    }
    ComPtr<IExplorerCommand> command;
    EXPECT_EQ(CoCreateInstance(CLSID_tag_context_main_menu_item, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IExplorerCommand, reinterpret_cast<void**>(command.GetAddressOf())),
              REGDB_E_CLASSNOTREG);
}
} // namespace
