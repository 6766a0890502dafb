#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>
#include <string_view>

namespace tag_extension
{
inline constexpr const char* explorer_launch_error =
    "Failed to launch process via Explorer (ShellExecute fallback failed).";

// A COM call that failed while the shell call was being built (a BSTR allocation). Not a
// std::exception on purpose: the fallbacks must not start the program directly after it.
struct com_error
{
    HRESULT result;
};

// System folder\cmd.exe, or "cmd.exe" when the system folder cannot be read.
std::wstring interpreter_path();
// Makes text safe on cmd's command line: `start` must receive the same arguments.
// Outside quotation marks & | < > ^ ( ) get a caret and a % is kept from expanding a variable;
// inside them only a % is touched: the marks are closed before it and reopened after it.
std::wstring escape_for_interpreter(std::wstring_view text);
// /c start "" "<program>" <arguments>, all escaped
std::wstring interpreter_arguments(std::wstring_view program, std::wstring_view arguments);
// "<program>" <arguments>
std::wstring direct_command_line(std::wstring_view program, std::wstring_view arguments);

// Has Explorer's shell execute file with arguments: the Shell object first, then the desktop
// window's view. Returns true, or raises explorer_launch_error when both ways fail.
bool start_via_explorer(const std::wstring& file, const std::wstring& arguments);
// Starts program through the interpreter's `start` by the shell route; true or raises.
bool launch_via_explorer(const std::wstring& program, const std::wstring& arguments);
// The shell route; when it fails, starts program directly and blocks until it exits.
// False only when the direct start fails.
bool launch_with_wait_fallback(const std::wstring& program, const std::wstring& arguments);
// The shell route; when it fails, starts program directly and detached, without waiting.
// False only when the direct start fails.
bool launch_with_detached_fallback(const std::wstring& program, const std::wstring& arguments);

// Creation of the two shell objects, replaceable so a test can make both ways fail.
struct shell_object_api
{
    HRESULT(WINAPI* create_instance)
    (REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* result) = &CoCreateInstance;
};
shell_object_api& shell_object_functions();
} // namespace tag_extension
