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
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
    {
        print(L"usage: tag_menu_host <TagShellExtension.dll> <path>...");
        return 2;
    }
    com_apartment apartment;

    HMODULE dll = LoadLibraryW(argv[1]);
    if (dll == nullptr)
    {
        print(L"error: cannot load " + std::wstring(argv[1]));
        return 1;
    }
    using get_class_object_fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using can_unload_fn = HRESULT(STDAPICALLTYPE*)();
    auto get_class_object =
        reinterpret_cast<get_class_object_fn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    auto can_unload =
        reinterpret_cast<can_unload_fn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    if (get_class_object == nullptr || can_unload == nullptr)
    {
        print(L"error: the DLL lacks DllGetClassObject or DllCanUnloadNow");
        return 1;
    }

    int status = 0;
    {
        ComPtr<IClassFactory> factory;
        HRESULT hr = get_class_object(tag_command_class, IID_PPV_ARGS(&factory));
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
            with_site->SetSite(factory.Get()); // any object will do as a site here
        }

        const std::vector<std::wstring> paths(argv + 2, argv + argc);
        auto items = make_selection(paths);
        describe(command.Get(), items.Get(), L"");

        ComPtr<IEnumExplorerCommand> sub_commands;
        if (SUCCEEDED(command->EnumSubCommands(&sub_commands)) && sub_commands)
        {
            ComPtr<IExplorerCommand> entry;
            ULONG fetched = 0;
            while (sub_commands->Next(1, &entry, &fetched) == S_OK && fetched == 1)
            {
                describe(entry.Get(), items.Get(), L"    ");
                entry.Reset();
            }
        }
        if (with_site)
        {
            with_site->SetSite(nullptr);
        }
    }
    const bool unloadable = can_unload() == S_OK;
    print(std::wstring(L"DllCanUnloadNow: ") + (unloadable ? L"S_OK" : L"S_FALSE"));
    if (!unloadable)
    {
        status = 1;
    }
    FreeLibrary(dll);
    return status;
}
