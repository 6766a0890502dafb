#pragma once

#include <windows.h>

namespace explorer_driver
{
// Points every import of `function` from `dll` (any library when null) in the loaded module at
// `replacement`, so the module's own calls land in the caller's stand-in or counter. Returns the
// address the module called before, or null when it imports no such function by name.
void* patch_import(HMODULE module, const char* dll, const char* function, void* replacement);
} // namespace explorer_driver
