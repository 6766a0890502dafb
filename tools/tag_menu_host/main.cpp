// Plays Explorer for the Tag extension: loads the DLL, creates the command through its
// class factory and asks it what Explorer asks when it builds a context menu.
#include "command_line.h"
#include "commands.h"
#include "host_files.h"
#include "keyword_stand_in.h"
#include "output.h"
#include "theme_stand_in.h"

#include "common/unique_resources.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace tag_menu_host;

namespace
{
constexpr CLSID tag_command_class = {
    0xa2877438, 0x9a16, 0x4629, {0x91, 0x2a, 0x12, 0x23, 0xb4, 0xe3, 0xb0, 0x25}};

// Explorer only ever selects items that exist, so a path that does not parse is refused.
std::wstring make_selection(const std::vector<std::wstring>& paths, ComPtr<IShellItemArray>& items)
{
    std::vector<common::unique_cotaskmem_ptr<ITEMIDLIST_ABSOLUTE>> owned;
    std::vector<PCIDLIST_ABSOLUTE> lists;
    for (const auto& path : paths)
    {
        const std::wstring full = absolute_path(path);
        const HRESULT hr = SHParseDisplayName(full.c_str(), nullptr, owned.emplace_back().put(), 0, nullptr);
        if (FAILED(hr) || !owned.back())
        {
            return L"cannot find \"" + full + L"\" (" + hex(hr) + L")";
        }
        lists.push_back(owned.back().get());
    }
    const HRESULT hr =
        SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()), lists.data(), &items);
    return FAILED(hr) ? L"cannot make a selection of the paths (" + hex(hr) + L")" : L"";
}

int run(const extension& dll, const host_options& options, IShellItemArray* items)
{
    ComPtr<IClassFactory> factory;
    HRESULT hr = dll.get_class_object(tag_command_class, IID_PPV_ARGS(&factory));
    ComPtr<IExplorerCommand> command;
    if (SUCCEEDED(hr))
    {
        hr = factory->CreateInstance(nullptr, IID_PPV_ARGS(&command));
    }
    if (FAILED(hr))
    {
        return failure(L"cannot create the Tag command: " + hex(hr));
    }
    ComPtr<IObjectWithSite> with_site;
    if (SUCCEEDED(command.As(&with_site)))
    {
        with_site->SetSite(factory.Get()); // Explorer's site object is opaque to the command
    }

    int status = exit_done;
    if (options.action == L"invoke")
    {
        status = invoke(dll, command.Get(), items, options.title);
    }
    else if (options.action == L"why")
    {
        status = why(dll, command.Get(), items);
    }
    else if (options.action == L"show")
    {
        status = show(command.Get(), items);
    }
    else
    {
        status = render(command.Get(), items, options);
    }
    if (with_site)
    {
        with_site->SetSite(nullptr);
    }
    return status;
}

// Returns an empty text, or why the stand-ins cannot be put in.
std::wstring install_stand_ins(const extension& dll, const host_options& options)
{
    if (!options.keywords.empty())
    {
        if (!install_keyword_stand_in(dll.module, options.keywords))
        {
            return options.dll + L" imports no property-store function to stand in for (--keywords)";
        }
        if (options.action == L"why")
        {
            install_keyword_stand_in(tag_extension::property_system_functions());
        }
        print(L"note: System.Keywords supplied by tag_menu_host's stand-in for the Windows property system "
              L"(--keywords):");
        for (const auto& entry : options.keywords)
        {
            std::wstring tags;
            for (const auto& tag : entry.tags)
            {
                tags += (tags.empty() ? L"" : L";") + tag;
            }
            print(L"      " + entry.path + L" = " + (tags.empty() ? L"(empty list)" : tags));
        }
    }
    if (options.dark || options.action == L"render")
    {
        if (!install_theme_stand_in(dll.module, !options.dark))
        {
            return options.dll + L" imports no registry function to stand in for (theme)";
        }
        print(std::wstring(L"note: AppsUseLightTheme=") + (options.dark ? L"0" : L"1") +
              L" supplied by tag_menu_host's stand-in for the theme registry value (" +
              (options.dark ? L"--dark" : L"render without --dark") + L")");
    }
    return {};
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (asks_for_help(args))
    {
        print(usage_text);
        return exit_done;
    }
    host_options options;
    if (const std::wstring problem = parse_command_line(args, options); !problem.empty())
    {
        return usage_error(problem);
    }

    const auto apartment = common::co_initialize_ex();
    ComPtr<IShellItemArray> items;
    if (const std::wstring problem = make_selection(options.paths, items); !problem.empty())
    {
        return usage_error(problem);
    }
    if (GetFileAttributesW(options.dll.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        return usage_error(L"cannot find \"" + options.dll + L"\"");
    }

    extension dll;
    dll.module = LoadLibraryW(options.dll.c_str());
    if (dll.module == nullptr)
    {
        return failure(L"cannot load \"" + options.dll + L"\" (" + error_text(GetLastError()) + L")");
    }
    dll.get_class_object = reinterpret_cast<decltype(dll.get_class_object)>(
        reinterpret_cast<void*>(GetProcAddress(dll.module, "DllGetClassObject")));
    dll.can_unload_now = reinterpret_cast<decltype(dll.can_unload_now)>(
        reinterpret_cast<void*>(GetProcAddress(dll.module, "DllCanUnloadNow")));
    if (dll.get_class_object == nullptr || dll.can_unload_now == nullptr)
    {
        FreeLibrary(dll.module);
        return failure(options.dll + L" lacks DllGetClassObject or DllCanUnloadNow");
    }
    // Before the first call into the DLL: it keeps what it reads for the life of the process.
    if (const std::wstring problem = install_stand_ins(dll, options); !problem.empty())
    {
        FreeLibrary(dll.module);
        return failure(problem);
    }

    int status = run(dll, options, items.Get());
    items.Reset();
    const bool unloadable = dll.can_unload_now() == S_OK;
    print(std::wstring(L"DllCanUnloadNow: ") + (unloadable ? L"S_OK" : L"S_FALSE"));
    if (!unloadable && status == exit_done)
    {
        status = exit_failed;
    }
    FreeLibrary(dll.module);
    return status;
}
