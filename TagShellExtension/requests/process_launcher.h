#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

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

inline constexpr const char* missing_program_error = "Companion program not found: ";
inline constexpr const char* direct_launch_error = "Unable to launch ";

// Each launch hands the program exactly its argument text (the callers quote what needs
// quoting). The shell route runs it through the interpreter's `start` when cmd carries the text
// unchanged, else runs it itself; when neither carries both texts exactly, it is started
// directly. A program that is not there is never reported as started.

// Starts program by the shell route, without waiting; true or raises (missing_program_error,
// explorer_launch_error, or direct_launch_error when the direct start fails).
bool launch_via_explorer(const std::wstring& program, const std::wstring& arguments);
// The shell route; when it fails, starts program directly and waits until it exits, but never
// longer than direct_start_wait_limit_ms: the caller is Explorer's thread, and the program a
// window the user may keep open. False only when the direct start fails (always for a missing
// program).
inline constexpr DWORD direct_start_wait_limit_ms = 5000;
bool launch_with_wait_fallback(const std::wstring& program, const std::wstring& arguments);
// The shell route; when it fails, starts program directly and detached, without waiting.
// False only when the direct start fails (always for a missing program).
bool launch_with_detached_fallback(const std::wstring& program, const std::wstring& arguments);

// Creation of the two shell objects, replaceable so a test can make both ways fail.
struct shell_object_api
{
    HRESULT(WINAPI* create_instance)
    (REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* result) = &CoCreateInstance;
};
shell_object_api& shell_object_functions();
} // namespace tag_extension
