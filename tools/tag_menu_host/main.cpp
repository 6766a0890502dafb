// Plays Explorer for the Tag extension: loads the DLL, creates the command through its
// class factory and asks it what Explorer asks when it builds a context menu.
#include "keyword_stand_in.h"
#include "menu_model.h"
#include "menu_render.h"
#include "theme_stand_in.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace tag_menu_host;

namespace
{
constexpr CLSID tag_command_class = {
    0xa2877438, 0x9a16, 0x4629, {0x91, 0x2a, 0x12, 0x23, 0xb4, 0xe3, 0xb0, 0x25}};

constexpr const wchar_t* usage_text =
    L"usage: tag_menu_host show [options] <TagShellExtension.dll> <path>...\n"
    L"       tag_menu_host render [options] <TagShellExtension.dll> <out.png> <path>...\n"
    L"       tag_menu_host invoke <TagShellExtension.dll> <entry title> <path>...\n"
    L"       tag_menu_host --help\n"
    L"\n"
    L"show    prints the Tag command and its cascade for the selection, as Explorer asks for them\n"
    L"render  draws them as Windows 11 Explorer's context menu shows them, the cascade open, to a PNG\n"
    L"invoke  chooses the cascade entry with that title, then prints what the started program\n"
    L"        received (read from companion_records beside the DLL, written by the stand-ins)\n"
    L"\n"
    L"options of show and render:\n"
    L"  --dark                            dark theme: the DLL reads AppsUseLightTheme=0 (render\n"
    L"                                    without --dark makes it read 1) and the picture is dark\n"
    L"  --keywords <path>=<tag1;tag2>     the item at <path> carries these tags in System.Keywords;\n"
    L"                                    repeatable. Wine serves no property store, so the host\n"
    L"                                    stands in for the property-system functions the DLL\n"
    L"                                    imports; the file itself must exist and is not changed\n"
    L"\n"
    L"Paths are Windows paths (C:\\Samples\\Beach.jpg). Exit status: 0 done, 1 the DLL or the\n"
    L"drawing failed, 2 bad arguments.";

void write_line(FILE* stream, const std::wstring& text)
{
    // The console may not be UTF-8; write UTF-8 bytes so redirected output stays readable.
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    bytes += '\n';
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void print(const std::wstring& text)
{
    write_line(stdout, text);
}

int usage_error(const std::wstring& message)
{
    write_line(stderr, L"tag_menu_host: " + message + L" (see tag_menu_host --help)");
    return 2;
}

int failure(const std::wstring& message)
{
    write_line(stderr, L"tag_menu_host: " + message);
    return 1;
}

std::wstring hex(HRESULT hr)
{
    wchar_t buffer[16];
    swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

// The system's text for an error code, on one line.
std::wstring error_text(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : L"";
    LocalFree(text);
    for (size_t at = message.find(L"%1"); at != std::wstring::npos; at = message.find(L"%1"))
    {
        message.replace(at, 2, L"the file");
    }
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
    {
        message.pop_back();
    }
    return L"error " + std::to_wstring(code) + (message.empty() ? L"" : L": " + message);
}

std::wstring full_path(const std::wstring& path)
{
    std::wstring full(32768, L'\0');
    const DWORD size = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (size == 0 || size >= full.size())
    {
        return path;
    }
    full.resize(size);
    return full;
}

struct com_apartment
{
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~com_apartment()
    {
        if (SUCCEEDED(result))
        {
            CoUninitialize();
        }
    }
};

// ---- Command line

struct host_options
{
    std::wstring action;
    std::wstring dll;
    std::wstring title;  // invoke
    std::wstring output; // render
    bool dark = false;
    std::vector<keyword_entry> keywords;
    std::vector<std::wstring> paths;
};

bool is_help(const std::wstring& arg)
{
    return arg == L"--help" || arg == L"-h" || arg == L"/?";
}

// Empty on success, else the one-line complaint.
std::wstring parse_command_line(const std::vector<std::wstring>& args, host_options& options)
{
    if (args.empty())
    {
        return L"no subcommand given";
    }
    options.action = args[0];
    const bool drawing_options = options.action == L"show" || options.action == L"render";
    if (!drawing_options && options.action != L"invoke")
    {
        return L"unknown subcommand \"" + options.action + L"\"";
    }
    std::vector<std::wstring> positional;
    bool options_ended = false;
    for (size_t i = 1; i < args.size(); ++i)
    {
        const std::wstring& arg = args[i];
        if (options_ended || arg.size() < 2 || arg.compare(0, 2, L"--") != 0)
        {
            positional.push_back(arg);
            continue;
        }
        if (arg == L"--")
        {
            options_ended = true;
            continue;
        }
        const bool keywords = arg == L"--keywords" || arg.compare(0, 11, L"--keywords=") == 0;
        if (arg != L"--dark" && !keywords)
        {
            return L"unknown option \"" + arg + L"\"";
        }
        if (!drawing_options)
        {
            return arg.substr(0, arg.find(L'=')) + L" applies to show and render only";
        }
        if (arg == L"--dark")
        {
            options.dark = true;
            continue;
        }
        std::wstring value;
        if (arg == L"--keywords")
        {
            if (++i == args.size())
            {
                return L"--keywords needs <path>=<tag1;tag2>";
            }
            value = args[i];
        }
        else
        {
            value = arg.substr(11);
        }
        auto entry = parse_keyword_entry(value);
        if (!entry)
        {
            return L"--keywords needs <path>=<tag1;tag2>, not \"" + value + L"\"";
        }
        options.keywords.push_back(std::move(*entry));
    }

    size_t next = 0;
    if (next == positional.size())
    {
        return L"no DLL given";
    }
    options.dll = positional[next++];
    if (options.action == L"invoke")
    {
        if (next == positional.size())
        {
            return L"no entry title given";
        }
        options.title = positional[next++];
    }
    if (options.action == L"render")
    {
        if (next == positional.size())
        {
            return L"no output PNG given";
        }
        options.output = full_path(positional[next++]);
    }
    if (next == positional.size())
    {
        return L"no paths given";
    }
    options.paths.assign(positional.begin() + static_cast<std::ptrdiff_t>(next), positional.end());
    return {};
}

// ---- Explorer's side

// The loaded DLL and its two exports.
struct extension
{
    HMODULE module = nullptr;
    HRESULT(STDAPICALLTYPE* get_class_object)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now)() = nullptr;
};

// Explorer only ever selects items that exist, so a path that does not parse is refused.
std::wstring make_selection(const std::vector<std::wstring>& paths, ComPtr<IShellItemArray>& items)
{
    std::vector<PIDLIST_ABSOLUTE> lists;
    std::wstring problem;
    for (const auto& path : paths)
    {
        PIDLIST_ABSOLUTE list = nullptr;
        const std::wstring full = full_path(path);
        const HRESULT hr = SHParseDisplayName(full.c_str(), nullptr, &list, 0, nullptr);
        if (FAILED(hr) || list == nullptr)
        {
            problem = L"cannot find \"" + full + L"\" (" + hex(hr) + L")";
            break;
        }
        lists.push_back(list);
    }
    if (problem.empty())
    {
        const HRESULT hr = SHCreateShellItemArrayFromIDLists(
            static_cast<UINT>(lists.size()), const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()), &items);
        if (FAILED(hr))
        {
            problem = L"cannot make a selection of the paths (" + hex(hr) + L")";
        }
    }
    for (auto list : lists)
    {
        CoTaskMemFree(list);
    }
    return problem;
}

std::wstring visible(const std::wstring& text)
{
    std::wstring result;
    for (wchar_t c : text)
    {
        result += c == L'\t' ? std::wstring(L"\\t") : std::wstring(1, c);
    }
    return result;
}

std::wstring state_name(EXPCMDSTATE state)
{
    if (state & ECS_HIDDEN)
    {
        return L"hidden";
    }
    return (state & ECS_DISABLED) ? L"disabled" : L"enabled";
}

void describe(const menu_entry& entry, const std::wstring& indent)
{
    if (entry.is_separator())
    {
        print(indent + L"----------------");
        return;
    }
    wchar_t name[64] = L"";
    StringFromGUID2(entry.canonical_name, name, 64);
    print(indent + L"title: \"" + visible(entry.title) + L"\"");
    print(indent + L"  state: " + state_name(entry.state) + L" (" + hex(entry.state_result) + L")  flags: " +
          std::to_wstring(entry.flags) + L"  canonical name: " + name);
    print(indent + L"  icon: " + (entry.icon.empty() ? L"(none)" : entry.icon));
}

std::wstring records_folder(HMODULE module)
{
    std::wstring name(32768, L'\0');
    name.resize(GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size())));
    return name.substr(0, name.find_last_of(L'\\')) + L"\\companion_records";
}

// The stand-ins' record files, <exe name>.<time>.<pid>.record, in the order they were written.
std::vector<std::wstring> record_files(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"\\*.record").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Nothing waits for the batch processor, so watch for new records for a while.
void print_new_records(const std::wstring& folder, const std::vector<std::wstring>& before)
{
    for (int attempt = 0; attempt < 100; ++attempt, Sleep(100))
    {
        bool any = false;
        for (const auto& name : record_files(folder))
        {
            if (std::find(before.begin(), before.end(), name) != before.end())
            {
                continue;
            }
            any = true;
            const std::string content = read_bytes(folder + L"\\" + name);
            std::wstring text(content.size(), L'\0');
            text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, content.data(),
                                                                static_cast<int>(content.size()), text.data(),
                                                                static_cast<int>(text.size()))));
            print(name.substr(0, name.find(L".exe.") + 4) + L" received:");
            print(text);
        }
        if (any)
        {
            return;
        }
    }
    print(L"no companion program reported a start within 10 seconds");
}

int invoke(const extension& dll, IExplorerCommand* command, IShellItemArray* items, const std::wstring& title)
{
    ComPtr<IEnumExplorerCommand> sub_commands;
    if (FAILED(command->EnumSubCommands(&sub_commands)) || !sub_commands)
    {
        return failure(L"the Tag command gives no cascade");
    }
    ComPtr<IExplorerCommand> entry;
    while (sub_commands->Next(1, &entry, nullptr) == S_OK && entry)
    {
        if (take_string([&](PWSTR* text) { return entry->GetTitle(items, text); }) == title)
        {
            const std::wstring folder = records_folder(dll.module);
            const auto before = record_files(folder);
            const HRESULT hr = entry->Invoke(items, nullptr);
            print(L"Invoke \"" + title + L"\": " + hex(hr));
            if (hr != S_OK)
            {
                return 1;
            }
            print_new_records(folder, before);
            return 0;
        }
        entry.Reset();
    }
    return usage_error(L"no cascade entry is titled \"" + title + L"\"");
}

int render(const context_menu& menu, const host_options& options)
{
    if (menu.command.is_hidden())
    {
        return failure(L"the Tag command is hidden for this selection, so Explorer shows nothing to draw");
    }
    const std::wstring problem =
        render_menu(menu, options.dark ? menu_theme::dark : menu_theme::light, options.output);
    if (!problem.empty())
    {
        return failure(problem);
    }
    print(L"wrote " + options.output);
    return 0;
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

    int status = 0;
    if (options.action == L"invoke")
    {
        status = invoke(dll, command.Get(), items, options.title);
    }
    else
    {
        const context_menu menu = read_menu(command.Get(), items);
        if (options.action == L"show")
        {
            describe(menu.command, L"");
            for (const auto& entry : menu.cascade)
            {
                describe(entry, L"    ");
            }
        }
        else
        {
            status = render(menu, options);
        }
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
    for (const auto& arg : args)
    {
        if (is_help(arg))
        {
            print(usage_text);
            return 0;
        }
    }
    host_options options;
    if (const std::wstring problem = parse_command_line(args, options); !problem.empty())
    {
        return usage_error(problem);
    }

    com_apartment apartment;
    ComPtr<IShellItemArray> items;
    if (const std::wstring problem = make_selection(options.paths, items); !problem.empty())
    {
        return usage_error(problem);
    }

    extension dll;
    dll.module = LoadLibraryW(options.dll.c_str());
    if (dll.module == nullptr)
    {
        return usage_error(L"cannot load \"" + options.dll + L"\" (" + error_text(GetLastError()) + L")");
    }
    dll.get_class_object = reinterpret_cast<decltype(dll.get_class_object)>(
        reinterpret_cast<void*>(GetProcAddress(dll.module, "DllGetClassObject")));
    dll.can_unload_now = reinterpret_cast<decltype(dll.can_unload_now)>(
        reinterpret_cast<void*>(GetProcAddress(dll.module, "DllCanUnloadNow")));
    if (dll.get_class_object == nullptr || dll.can_unload_now == nullptr)
    {
        FreeLibrary(dll.module);
        return usage_error(options.dll + L" lacks DllGetClassObject or DllCanUnloadNow");
    }
    // Before the first call into the DLL: it keeps what it reads for the life of the process.
    if (const std::wstring problem = install_stand_ins(dll, options); !problem.empty())
    {
        FreeLibrary(dll.module);
        return usage_error(problem);
    }

    int status = run(dll, options, items.Get());
    items.Reset();
    const bool unloadable = dll.can_unload_now() == S_OK;
    print(std::wstring(L"DllCanUnloadNow: ") + (unloadable ? L"S_OK" : L"S_FALSE"));
    if (!unloadable && status == 0)
    {
        status = 1;
    }
    FreeLibrary(dll.module);
    return status;
}
