#include "TagShellExtension/requests/process_launcher.h"

// shellapi.h first: its ShellExecute macro must rename the method and the call alike.
#include <shellapi.h>

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <exception>
#include <stdexcept>

namespace tag_extension
{
namespace
{
using Microsoft::WRL::ComPtr;

// {13709620-C279-11CE-A49E-444553540000}
constexpr CLSID shell_class = {0x13709620, 0xc279, 0x11ce, {0xa4, 0x9e, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {9BA05972-F6A8-11CF-A442-00A0C90A8F39}
constexpr CLSID shell_windows_class = {
    0x9ba05972, 0xf6a8, 0x11cf, {0xa4, 0x42, 0x00, 0xa0, 0xc9, 0x0a, 0x8f, 0x39}};
// {4C96BE40-915C-11CF-99D3-00AA004AE837}
constexpr GUID top_level_browser_service = {
    0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

// Enters a single-threaded apartment for one launch; leaves it only if this call entered it.
class apartment_scope
{
public:
    apartment_scope()
        : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {
    }
    ~apartment_scope()
    {
        if (entered_)
        {
            CoUninitialize();
        }
    }
    apartment_scope(const apartment_scope&) = delete;
    apartment_scope& operator=(const apartment_scope&) = delete;

private:
    bool entered_;
};

class variant_value
{
public:
    variant_value() { VariantInit(&value_); }
    ~variant_value() { VariantClear(&value_); }
    variant_value(const variant_value&) = delete;
    variant_value& operator=(const variant_value&) = delete;

    static BSTR allocate(const std::wstring& text)
    {
        BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (result == nullptr)
        {
            throw com_error{E_OUTOFMEMORY};
        }
        return result;
    }
    void set_text(const std::wstring& text)
    {
        value_.bstrVal = allocate(text);
        value_.vt = VT_BSTR;
    }
    void set_integer(LONG number)
    {
        value_.vt = VT_I4;
        value_.lVal = number;
    }
    VARIANT& get() { return value_; }

private:
    VARIANT value_;
};

// The one ShellExecute call both ways make, with its values made once.
class shell_execution
{
public:
    shell_execution(const std::wstring& file, const std::wstring& arguments)
        : file_(variant_value::allocate(file))
    {
        arguments_.set_text(arguments);
        directory_.set_text(L"");
        verb_.set_text(L"open");
        show_.set_integer(SW_HIDE);
    }
    ~shell_execution() { SysFreeString(file_); }
    shell_execution(const shell_execution&) = delete;
    shell_execution& operator=(const shell_execution&) = delete;

    bool run(IShellDispatch2* shell)
    {
        return shell != nullptr && SUCCEEDED(shell->ShellExecute(file_, arguments_.get(), directory_.get(),
                                                                 verb_.get(), show_.get()));
    }

private:
    BSTR file_;
    variant_value arguments_;
    variant_value directory_;
    variant_value verb_;
    variant_value show_;
};

template <typename Interface> bool create(REFCLSID clsid, ComPtr<Interface>& result)
{
    return SUCCEEDED(shell_object_functions().create_instance(
               clsid, nullptr, CLSCTX_ALL, __uuidof(Interface),
               reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()))) &&
           result;
}

// Explorer's own shell object, reached through the view of its desktop window.
ComPtr<IShellDispatch2> desktop_shell()
{
    ComPtr<IShellWindows> windows;
    if (!create(shell_windows_class, windows))
    {
        return nullptr;
    }
    variant_value location;
    location.set_integer(0); // CSIDL_DESKTOP
    variant_value root;
    LONG window = 0;
    ComPtr<IDispatch> desktop;
    if (FAILED(windows->FindWindowSW(&location.get(), &root.get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                     desktop.ReleaseAndGetAddressOf())) ||
        !desktop)
    {
        return nullptr;
    }
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    if (FAILED(desktop.As(&services)) ||
        FAILED(services->QueryService(top_level_browser_service, __uuidof(IShellBrowser),
                                      reinterpret_cast<void**>(browser.ReleaseAndGetAddressOf()))) ||
        !browser)
    {
        return nullptr;
    }
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    if (FAILED(browser->QueryActiveShellView(view.ReleaseAndGetAddressOf())) || !view ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch),
                                   reinterpret_cast<void**>(background.ReleaseAndGetAddressOf()))) ||
        !background)
    {
        return nullptr;
    }
    ComPtr<IShellFolderViewDual> folder_view;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(background.As(&folder_view)) ||
        FAILED(folder_view->get_Application(application.ReleaseAndGetAddressOf())) || !application ||
        FAILED(application.As(&shell)))
    {
        return nullptr;
    }
    return shell;
}

bool start_directly(const std::wstring& program, const std::wstring& arguments, DWORD flags, bool wait)
{
    std::wstring command_line = direct_command_line(program, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &process))
    {
        return false;
    }
    if (wait)
    {
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
} // namespace

shell_object_api& shell_object_functions()
{
    static shell_object_api functions;
    return functions;
}

std::wstring interpreter_path()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
    {
        return L"cmd.exe";
    }
    return std::wstring(folder, length) + L"\\cmd.exe";
}

std::wstring escape_for_interpreter(std::wstring_view text)
{
    std::wstring result;
    result.reserve(text.size() + 8);
    bool quoted = false;
    // After a % outside quotation marks the next character gets a caret: the variable name cmd
    // looks up then starts with ^, which no variable has, and the caret goes before `start` runs.
    bool guard_next = false;
    for (const wchar_t c : text)
    {
        if (c == L'"')
        {
            quoted = !quoted;
            guard_next = false;
        }
        else if (quoted && c == L'%')
        {
            // cmd expands %NAME% between quotation marks too, and a caret there stays literal. So
            // the stretch is closed around the %: the name cmd looks up starts with a quotation
            // mark, which no variable has, and the argument reads the same once parsed.
            result += L"\"%\"";
            continue;
        }
        else if (!quoted)
        {
            const bool special = std::wstring_view(L"&|<>^()").find(c) != std::wstring_view::npos;
            if (special || (guard_next && c != L' ' && c != L'\t'))
            {
                result += L'^';
            }
            guard_next = c == L'%';
        }
        result += c;
    }
    return result;
}

std::wstring interpreter_arguments(std::wstring_view program, std::wstring_view arguments)
{
    // The program path is quoted, so it needs the same care as the arguments.
    std::wstring tail = L"\"\" \"";
    tail += program;
    tail += L"\" ";
    tail += arguments;
    return L"/c start " + escape_for_interpreter(tail);
}

std::wstring direct_command_line(std::wstring_view program, std::wstring_view arguments)
{
    std::wstring result = L"\"";
    result += program;
    result += L"\" ";
    result += arguments;
    return result;
}

bool start_via_explorer(const std::wstring& file, const std::wstring& arguments)
{
    const apartment_scope apartment;
    shell_execution execution(file, arguments);
    {
        ComPtr<IShellDispatch2> shell;
        if (create(shell_class, shell) && execution.run(shell.Get()))
        {
            return true;
        }
    }
    if (execution.run(desktop_shell().Get()))
    {
        return true;
    }
    throw std::runtime_error(explorer_launch_error);
}

bool launch_via_explorer(const std::wstring& program, const std::wstring& arguments)
{
    return start_via_explorer(interpreter_path(), interpreter_arguments(program, arguments));
}

bool launch_with_wait_fallback(const std::wstring& program, const std::wstring& arguments)
{
    try
    {
        return launch_via_explorer(program, arguments);
    }
    catch (const std::exception&)
    {
        // The shell route's failure is not the caller's: the direct start below decides.
    }
    return start_directly(program, arguments, 0, true);
}

bool launch_with_detached_fallback(const std::wstring& program, const std::wstring& arguments)
{
    try
    {
        return start_via_explorer(interpreter_path(), interpreter_arguments(program, arguments));
    }
    catch (const std::exception&)
    {
    }
    return start_directly(program, arguments, DETACHED_PROCESS, false);
}
} // namespace tag_extension
