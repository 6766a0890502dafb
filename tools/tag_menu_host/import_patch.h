#pragma once

#include <windows.h>

namespace tag_menu_host
{
// Points every import of `function` from `dll` in the loaded module at `replacement`, so
// the module's own calls land in the host. Returns the address the module called before,
// or null when it imports no such function by name.
void* patch_import(HMODULE module, const char* dll, const char* function, void* replacement);
} // namespace tag_menu_host
