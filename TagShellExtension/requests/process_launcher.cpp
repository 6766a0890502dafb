#include "TagShellExtension/requests/process_launcher.h"

// shellapi.h first: its ShellExecute macro must rename the method and the call alike.
#include <shellapi.h>

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include "common/conversions.h"
#include "common/unique_resources.h"

#include <algorithm>
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

void set_text(VARIANT& value, const std::wstring& text)
{
    value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (value.bstrVal == nullptr)
    {
        throw com_error{E_OUTOFMEMORY};
    }
    value.vt = VT_BSTR;
}

void set_integer(VARIANT& value, LONG number)
{
    value.vt = VT_I4;
    value.lVal = number;
}

// The one ShellExecute call both ways make, with its values made once.
class shell_execution
{
public:
    shell_execution(const std::wstring& file, const std::wstring& arguments)
    {
        set_text(file_, file);
        set_text(arguments_, arguments);
        set_text(directory_, L"");
        set_text(verb_, L"open");
        set_integer(show_, SW_HIDE);
    }
    bool run(IShellDispatch2* shell)
    {
        return shell != nullptr &&
               SUCCEEDED(shell->ShellExecute(file_.bstrVal, arguments_, directory_, verb_, show_));
    }

private:
    common::unique_variant file_;
    common::unique_variant arguments_;
    common::unique_variant directory_;
    common::unique_variant verb_;
    common::unique_variant show_;
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
    common::unique_variant location;
    set_integer(location, 0); // CSIDL_DESKTOP
    common::unique_variant root;
    LONG window = 0;
    ComPtr<IDispatch> desktop;
    if (FAILED(windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
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

// System folder\cmd.exe, or "cmd.exe" when the system folder cannot be read.
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

// Outside quotation marks & | < > ^ ( ) get a caret. cmd expands %NAME% between quotation
// marks too, and a caret there stays literal, so the marks are closed around a %: the name cmd
// would look up then starts with a quotation mark, which no variable has.
std::wstring escape_for_interpreter(std::wstring_view text)
{
    std::wstring result;
    result.reserve(text.size() + 8);
    bool quoted = false;
    for (const wchar_t c : text)
    {
        quoted = c == L'"' ? !quoted : quoted;
        if (quoted && c == L'%')
        {
            result += L"\"%\"";
            continue;
        }
        if (!quoted && std::wstring_view(L"&|<>^()").find(c) != std::wstring_view::npos)
        {
            result += L'^';
        }
        result += c;
    }
    return result;
}

// Whether cmd and `start` hand the program this argument text unchanged. cmd would expand a %
// (a caret does not stop every cmd) and fold runs of blanks; control characters do not pass.
// Some `start`s split the parameters and join them again, quoting those that hold a blank: only
// text such a join gives back passes, with single blanks between parameters and quotation marks
// only around a whole parameter that holds a blank and does not end in a backslash.
bool interpreter_keeps(std::wstring_view text)
{
    if (std::ranges::any_of(text, [](wchar_t c) { return c == L'%' || c < 0x20 || c == 0x7f; }))
    {
        return false;
    }
    for (size_t at = 0; at < text.size();)
    {
        size_t end = text.find(L' ', at);
        if (text[at] == L'"')
        {
            end = text.find(L'"', at + 1);
            const auto inner = text.substr(at + 1, end == text.npos ? 0 : end - at - 1);
            if (end == text.npos || inner.find(L' ') == text.npos || inner.ends_with(L'\\'))
            {
                return false;
            }
            ++end;
        }
        end = std::min(end, text.size());
        const auto parameter = text.substr(at, end - at);
        if (parameter.empty() || (text[at] != L'"' && parameter.find(L'"') != text.npos) ||
            (end < text.size() && (text[end] != L' ' || end + 1 == text.size())))
        {
            return false;
        }
        at = end + 1;
    }
    return true;
}

// "<program>" <arguments>
std::wstring direct_command_line(std::wstring_view program, std::wstring_view arguments)
{
    std::wstring result = L"\"";
    result += program;
    result += L"\" ";
    result += arguments;
    return result;
}

// /d /v:off /c start "" "<program>" <arguments>, escaped: neither the user's AutoRun commands
// nor delayed expansion can change what starts.
std::wstring interpreter_arguments(std::wstring_view program, std::wstring_view arguments)
{
    return L"/d /v:off /c start " +
           escape_for_interpreter(L"\"\" " + direct_command_line(program, arguments));
}

bool start_directly(const std::wstring& program, const std::wstring& arguments, DWORD flags, bool wait)
{
    std::wstring command_line = direct_command_line(program, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    common::unique_process_information process;
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &process))
    {
        return false;
    }
    if (wait)
    {
        WaitForSingleObject(process.hProcess, direct_start_wait_limit_ms);
    }
    return true;
}

// Has Explorer's shell execute file with arguments: the Shell object first, then the desktop
// window's view. Returns true, or raises explorer_launch_error when both ways fail.
bool start_via_explorer(const std::wstring& file, const std::wstring& arguments)
{
    const auto apartment = common::co_initialize_ex();
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

// The shell route: the interpreter's `start` when cmd carries the argument text unchanged, else
// the program itself while the shell keeps its path (it expands %NAME% there, not in the
// arguments). False when neither carries both texts exactly; raises when the shell fails.
bool start_through_shell(const std::wstring& program, const std::wstring& arguments)
{
    constexpr size_t interpreter_line_limit = 8191;
    const std::wstring interpreter = interpreter_path();
    const std::wstring line = interpreter_arguments(program, arguments);
    if (interpreter_keeps(arguments) && interpreter.size() + line.size() + 3 <= interpreter_line_limit)
    {
        return start_via_explorer(interpreter, line);
    }
    return program.find(L'%') == std::wstring::npos && start_via_explorer(program, arguments);
}

// The shell never reports a program that is not there: look before starting it.
bool is_program_file(const std::wstring& program)
{
    const DWORD attributes = GetFileAttributesW(program.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool launch_with_fallback(const std::wstring& program, const std::wstring& arguments, DWORD flags, bool wait)
{
    try
    {
        if (is_program_file(program) && start_through_shell(program, arguments))
        {
            return true;
        }
    }
    catch (const std::exception&)
    {
        // The shell route's failure is not the caller's: the direct start below decides.
    }
    return start_directly(program, arguments, flags, wait);
}
} // namespace

shell_object_api& shell_object_functions()
{
    static shell_object_api functions;
    return functions;
}

bool launch_via_explorer(const std::wstring& program, const std::wstring& arguments)
{
    if (!is_program_file(program))
    {
        throw std::runtime_error(missing_program_error + common::to_utf8(program));
    }
    if (!start_through_shell(program, arguments) &&
        !start_directly(program, arguments, DETACHED_PROCESS, false))
    {
        throw std::runtime_error(direct_launch_error + common::to_utf8(program));
    }
    return true;
}

bool launch_with_wait_fallback(const std::wstring& program, const std::wstring& arguments)
{
    return launch_with_fallback(program, arguments, 0, true);
}

bool launch_with_detached_fallback(const std::wstring& program, const std::wstring& arguments)
{
    return launch_with_fallback(program, arguments, DETACHED_PROCESS, false);
}
} // namespace tag_extension
