#pragma once

#include <windows.h>

namespace tag_extension
{
// Called at process detach. When the module is being unloaded by FreeLibrary (reserved is
// null), what the statically linked C++ and thread runtimes hold for the process is given
// back after the module's last static object is gone; at process exit nothing is done.
void release_runtimes_at_unload(HMODULE module, LPVOID reserved) noexcept;
} // namespace tag_extension
