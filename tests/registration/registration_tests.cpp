// Installing the way users do, through the shipped registration files, then creating the
// command the way Explorer does: COM's in-process activation from the registry.
#include "TagShellExtension/com_module.h"
#include "common/conversions.h"
#include "support/extension_dll.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

namespace
{
constexpr wchar_t dll_name[] = L"TagShellExtension.dll";

// The file as shipped, read from the source tree (reached through Z: under Wine). With
// CCACHE_BASEDIR the compiler is given this file's path relative to the build folder.
std::wstring shipped_file(const wchar_t* name)
{
    const std::filesystem::path source(__FILE__);
    const auto file = source.has_root_directory() ? std::filesystem::path(L"Z:") / source
                                                  : test_support::executable_folder().parent_path() / source;
    return common::to_wide(
        test_support::read_file(file.parent_path().parent_path().parent_path() / L"packaging" / name));
}

// reg import as register.ps1 runs it, from UTF-16 with a byte-order mark; true when every line applied.
bool reg_import(const std::wstring& text)
{
    const test_support::scratch_folder folder;
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    const auto file = folder.write(L"import.reg", bytes);
    return _wsystem((L"reg import \"" + file.wstring() + L"\" /reg:64 >nul 2>&1").c_str()) == 0;
}

// Wine's COM sees only the machine's classes, never HKCU\Software\Classes: there the same keys also
// go machine-wide (into the test prefix), always, so that a copy left by an aborted run goes too.
bool apply(const std::wstring& text)
{
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return reg_import(text) &&
           (!wine ||
            reg_import(std::regex_replace(text, std::wregex(L"HKEY_CURRENT_USER"), L"HKEY_LOCAL_MACHINE")));
}

HRESULT create_command()
{
    Microsoft::WRL::ComPtr<IExplorerCommand> command;
    return CoCreateInstance(tag_extension::CLSID_tag_context_main_menu_item, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IExplorerCommand, reinterpret_cast<void**>(command.GetAddressOf()));
}

// Removes the registration also when the test stops half-way.
struct unregister_at_end
{
    ~unregister_at_end() { apply(shipped_file(L"TagShellExtension.unregister.reg")); }
};

TEST(registration, shipped_entries_let_com_load_the_built_dll_and_the_removal_file_deletes_every_key)
{
    const auto dll = test_support::dll_path().wstring();
    // The path escaped the way .reg strings need: backslashes and quotation marks.
    const auto text = std::regex_replace(shipped_file(L"TagShellExtension.reg.in"),
                                         std::wregex(L"@TAG_SHELL_EXTENSION_DLL@"),
                                         std::regex_replace(dll, std::wregex(LR"([\\"])"), L"\\$&"));
    const unregister_at_end cleanup;
    ASSERT_TRUE(apply(text));
    wchar_t clsid[40] = {};
    StringFromGUID2(tag_extension::CLSID_tag_context_main_menu_item, clsid, 40);
    for (const auto* verb :
         {L"Software\\Classes\\*\\shell\\Lumora.Tag", L"Software\\Classes\\Directory\\shell\\Lumora.Tag"})
    {
        wchar_t handler[40] = {};
        DWORD size = sizeof(handler);
        RegGetValueW(HKEY_CURRENT_USER, verb, L"ExplorerCommandHandler", RRF_RT_REG_SZ, nullptr, handler,
                     &size);
        EXPECT_STREQ(handler, clsid) << common::to_utf8(verb);
    }
    ASSERT_EQ(create_command(), S_OK);
    wchar_t loaded[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(dll_name), loaded, MAX_PATH);
    EXPECT_EQ(lstrcmpiW(loaded, dll.c_str()), 0) << common::to_utf8(loaded);
    // The default delay would keep an unused DLL for minutes.
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(GetModuleHandleW(dll_name), nullptr) << "released objects still hold the DLL";

    ASSERT_TRUE(apply(shipped_file(L"TagShellExtension.unregister.reg")));
    // Every key the registration wrote is gone, also from the merged view COM reads.
    const std::wregex section(LR"(\n\[HKEY_CURRENT_USER\\Software\\Classes\\([^\]]+)\])");
    ASSERT_NE(std::wsregex_iterator(text.begin(), text.end(), section), std::wsregex_iterator());
    for (std::wsregex_iterator match(text.begin(), text.end(), section), end; match != end; ++match)
    {
        const std::wstring key = (*match)[1];
        HKEY opened = nullptr;
        EXPECT_EQ(
            RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str(), 0, KEY_READ, &opened),
            ERROR_FILE_NOT_FOUND)
            << common::to_utf8(key);
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND)
            << common::to_utf8(key);
    }
    EXPECT_EQ(create_command(), REGDB_E_CLASSNOTREG);
}
} // namespace
