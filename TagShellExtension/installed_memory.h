#pragma once

#include <windows.h>

namespace tag_extension
{
// Installed memory, asked once per process; replaceable so tests can pose as small and large machines.
struct memory_api
{
    BOOL(WINAPI* global_memory_status)(LPMEMORYSTATUSEX status) = &GlobalMemoryStatusEx;
};
memory_api& memory_functions();
// GiB of installed memory; 0 when it cannot be asked.
double installed_memory_gib();
void forget_installed_memory_for_testing();
} // namespace tag_extension
