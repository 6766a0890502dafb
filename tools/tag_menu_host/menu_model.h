#pragma once

#include "tools/explorer_driver/cascade.h"

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace tag_menu_host
{
using explorer_driver::menu_entry;
using explorer_driver::read_entry;

// The Tag command and its cascade, in the order the enumerator gives it; no cascade when the
// command is hidden.
struct context_menu
{
    menu_entry command;
    std::vector<menu_entry> cascade;
};

context_menu read_menu(IExplorerCommand* command, IShellItemArray* items);

// The text before the first tab, and the hot key after it (empty without a tab).
struct title_parts
{
    std::wstring text;
    std::wstring hot_key;
};
title_parts split_title(const std::wstring& title);

} // namespace tag_menu_host
