#pragma once

#include "command_line.h"

#include "tools/explorer_driver/extension_dll.h"

#include <windows.h>
#include <shobjidl.h>

namespace tag_menu_host
{
using extension = explorer_driver::extension_dll;

// Each returns the host's exit status.
int show(IExplorerCommand* command, IShellItemArray* items);
int render(IExplorerCommand* command, IShellItemArray* items, const host_options& options);
int invoke(const extension& dll, IExplorerCommand* command, IShellItemArray* items,
           const std::wstring& title);
// Asks the DLL, then explains its answer with the code the DLL is built from, linked into the host.
int why(const extension& dll, IExplorerCommand* command, IShellItemArray* items);
} // namespace tag_menu_host
