// Plays Explorer for the Tag extension: loads the DLL, creates the command through its
// class factory and asks it what Explorer asks when it builds a context menu.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace
{
constexpr CLSID tag_command_class = {0xa2877438, 0x9a16, 0x4629, {0x91, 0x2a, 0x12, 0x23, 0xb4, 0xe3, 0xb0, 0x25}};

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

void print(const std::wstring& text)
{
    // The console may not be UTF-8; write UTF-8 bytes so redirected output stays readable.
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fputc('\n', stdout);
}

std::wstring visible(const std::wstring& text)
{
    std::wstring result;
    for (wchar_t c : text)
    {
        if (c == L'\t')
        {
            result += L"\\t";
        }
        else
        {
            result += c;
        }
    }
    return result;
}

// Calls a getter that hands out a CoTaskMem string and takes ownership of it.
template <typename Getter>
std::wstring take_string(Getter&& get)
{
    PWSTR text = nullptr;
    const HRESULT hr = get(&text);
    std::wstring result = SUCCEEDED(hr) && text != nullptr ? text : L"";
    CoTaskMemFree(text);
    return result;
}

std::wstring hex(HRESULT hr)
{
    wchar_t buffer[16];
    swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

std::wstring state_name(EXPCMDSTATE state)
{
    if (state & ECS_HIDDEN)
    {
        return L"hidden";
    }
    return (state & ECS_DISABLED) ? L"disabled" : L"enabled";
}

ComPtr<IShellItemArray> make_selection(const std::vector<std::wstring>& paths)
{
    std::vector<PIDLIST_ABSOLUTE> lists;
    for (const auto& path : paths)
    {
        wchar_t full[MAX_PATH * 4];
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
        PIDLIST_ABSOLUTE list = nullptr;
        if (SUCCEEDED(SHParseDisplayName(full, nullptr, &list, 0, nullptr)))
        {
            lists.push_back(list);
        }
        else
        {
            print(L"warning: cannot parse " + std::wstring(full));
        }
    }
    ComPtr<IShellItemArray> items;
    SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()),
                                      const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()), &items);
    for (auto list : lists)
    {
        CoTaskMemFree(list);
    }
    return items;
}

void describe(IExplorerCommand* command, IShellItemArray* items, const std::wstring& indent)
{
    const std::wstring title = take_string([&](PWSTR* text) { return command->GetTitle(items, text); });
    const std::wstring icon = take_string([&](PWSTR* text) { return command->GetIcon(items, text); });
    EXPCMDSTATE state = ECS_HIDDEN;
    const HRESULT state_result = command->GetState(items, TRUE, &state);
    EXPCMDFLAGS flags = ECF_DEFAULT;
    command->GetFlags(&flags);
    GUID name{};
    wchar_t name_text[64] = L"";
    if (SUCCEEDED(command->GetCanonicalName(&name)))
    {
        StringFromGUID2(name, name_text, 64);
    }
    if (flags & ECF_ISSEPARATOR)
    {
        print(indent + L"----------------");
        return;
    }
    print(indent + L"title: \"" + visible(title) + L"\"");
    print(indent + L"  state: " + state_name(state) + L" (" + hex(state_result) + L")  flags: " +
          std::to_wstring(flags) + L"  canonical name: " + name_text);
    print(indent + L"  icon: " + (icon.empty() ? L"(none)" : icon));
}
constexpr const wchar_t* usage_text =
    L"usage: tag_menu_host show <TagShellExtension.dll> <path>...\n"
    L"       tag_menu_host invoke <TagShellExtension.dll> <entry title> <path>...\n"
    L"       tag_menu_host --help\n"
    L"\n"
    L"show    prints the Tag command and its cascade for the selection, as Explorer asks for them\n"
    L"invoke  chooses the cascade entry with that title, then prints what the started program\n"
    L"        received (read from companion_records beside the DLL, written by the stand-ins)";

int usage_error(const std::wstring& message)
{
    std::fwprintf(stderr, L"tag_menu_host: %ls (see tag_menu_host --help)\n", message.c_str());
    return 2;
}

// The loaded DLL and its two exports.
struct extension
{
    HMODULE module = nullptr;
    HRESULT(STDAPICALLTYPE* get_class_object)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now)() = nullptr;
};

std::wstring records_folder(HMODULE module)
{
    std::wstring name(32768, L'\0');
    name.resize(GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size())));
    return name.substr(0, name.find_last_of(L'\\')) + L"\\companion_records";
}

std::string read_all(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return {};
    }
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    {
        content.append(buffer, read);
    }
    CloseHandle(file);
    return content;
}

// Nothing waits for the batch processor, so watch its record file for a while.
void print_new_records(const std::wstring& folder, const std::vector<std::wstring>& names,
                       const std::vector<size_t>& sizes_before)
{
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        bool any = false;
        for (size_t i = 0; i < names.size(); ++i)
        {
            const std::string content = read_all(folder + L"\\" + names[i] + L".log");
            if (content.size() > sizes_before[i])
            {
                any = true;
                std::wstring text(content.size() - sizes_before[i], L'\0');
                text.resize(static_cast<size_t>(MultiByteToWideChar(
                    CP_UTF8, 0, content.data() + sizes_before[i], static_cast<int>(content.size() - sizes_before[i]),
                    text.data(), static_cast<int>(text.size()))));
                print(names[i] + L" received:");
                print(text);
            }
        }
        if (any)
        {
            return;
        }
        Sleep(100);
    }
    print(L"no companion program reported a start within 10 seconds");
}

int run(const extension& dll, const std::wstring& action, const std::wstring& entry_title,
        const std::vector<std::wstring>& paths)
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
        print(L"error: cannot create the Tag command: " + hex(hr));
        return 1;
    }
    ComPtr<IObjectWithSite> with_site;
    if (SUCCEEDED(command.As(&with_site)))
    {
        with_site->SetSite(factory.Get()); // Explorer's site object is opaque to the command
    }

    auto items = make_selection(paths);
    if (action == L"show")
    {
        describe(command.Get(), items.Get(), L"");
    }
    int status = 0;
    bool found = action == L"show";
    ComPtr<IEnumExplorerCommand> sub_commands;
    if (SUCCEEDED(command->EnumSubCommands(&sub_commands)) && sub_commands)
    {
        ComPtr<IExplorerCommand> entry;
        while (sub_commands->Next(1, &entry, nullptr) == S_OK)
        {
            if (action == L"show")
            {
                describe(entry.Get(), items.Get(), L"    ");
            }
            else if (!found &&
                     take_string([&](PWSTR* text) { return entry->GetTitle(items.Get(), text); }) == entry_title)
            {
                found = true;
                const std::wstring folder = records_folder(dll.module);
                const std::vector<std::wstring> names{L"Sortwell.Common.BatchProcessor.exe",
                                                      L"Sortwell.Common.TagManager.exe", L"Lumora.exe"};
                std::vector<size_t> sizes;
                for (const auto& name : names)
                {
                    sizes.push_back(read_all(folder + L"\\" + name + L".log").size());
                }
                hr = entry->Invoke(items.Get(), nullptr);
                print(L"Invoke \"" + entry_title + L"\": " + hex(hr));
                if (hr == S_OK)
                {
                    print_new_records(folder, names, sizes);
                }
                else
                {
                    status = 1;
                }
            }
            entry.Reset();
        }
    }
    if (with_site)
    {
        with_site->SetSite(nullptr);
    }
    if (!found)
    {
        return usage_error(L"no cascade entry is titled \"" + entry_title + L"\"");
    }
    return status;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == L"--help" || args[0] == L"-h")
    {
        print(usage_text);
        return args.empty() ? 2 : 0;
    }
    const std::wstring& action = args[0];
    const size_t first_path = action == L"invoke" ? 3 : 2;
    if (action != L"show" && action != L"invoke")
    {
        return usage_error(L"unknown subcommand \"" + action + L"\"");
    }
    if (args.size() < 2)
    {
        return usage_error(L"no DLL given");
    }
    if (args.size() <= first_path)
    {
        return usage_error(L"no paths given");
    }
    com_apartment apartment;

    extension dll;
    dll.module = LoadLibraryW(args[1].c_str());
    if (dll.module == nullptr)
    {
        return usage_error(L"cannot load " + args[1]);
    }
    dll.get_class_object = reinterpret_cast<decltype(dll.get_class_object)>(
        reinterpret_cast<void*>(GetProcAddress(dll.module, "DllGetClassObject")));
    dll.can_unload_now = reinterpret_cast<decltype(dll.can_unload_now)>(
        reinterpret_cast<void*>(GetProcAddress(dll.module, "DllCanUnloadNow")));
    if (dll.get_class_object == nullptr || dll.can_unload_now == nullptr)
    {
        return usage_error(args[1] + L" lacks DllGetClassObject or DllCanUnloadNow");
    }

    const std::vector<std::wstring> paths(args.begin() + static_cast<std::ptrdiff_t>(first_path), args.end());
    int status = run(dll, action, action == L"invoke" ? args[2] : L"", paths);
    const bool unloadable = dll.can_unload_now() == S_OK;
    print(std::wstring(L"DllCanUnloadNow: ") + (unloadable ? L"S_OK" : L"S_FALSE"));
    if (!unloadable && status == 0)
    {
        status = 1;
    }
    FreeLibrary(dll.module);
    return status;
}
