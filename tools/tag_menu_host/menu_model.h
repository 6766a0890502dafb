#pragma once

#include "common/unique_resources.h"

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace tag_menu_host
{
// What Explorer learns about one command while it builds the menu.
struct menu_entry
{
    std::wstring title; // as GetTitle gives it: a tab may separate the hot key
    std::wstring icon;  // GetIcon's path; empty when there is none
    EXPCMDSTATE state = ECS_HIDDEN;
    HRESULT state_result = E_FAIL;
    EXPCMDFLAGS flags = ECF_DEFAULT;
    GUID canonical_name{};

    bool is_separator() const { return (flags & ECF_ISSEPARATOR) != 0; }
    bool has_sub_commands() const { return (flags & ECF_HASSUBCOMMANDS) != 0; }
    bool is_hidden() const { return (state & ECS_HIDDEN) != 0; }
    bool is_disabled() const { return (state & ECS_DISABLED) != 0; }
};

// The Tag command and its cascade, in the order the enumerator gives it; no cascade when the
// command is hidden.
struct context_menu
{
    menu_entry command;
    std::vector<menu_entry> cascade;
};

// Title and icon first, then state and flags, the order in which Explorer asks.
menu_entry read_entry(IExplorerCommand* command, IShellItemArray* items);
context_menu read_menu(IExplorerCommand* command, IShellItemArray* items);

// The text before the first tab, and the hot key after it (empty without a tab).
struct title_parts
{
    std::wstring text;
    std::wstring hot_key;
};
title_parts split_title(const std::wstring& title);

// Takes the CoTaskMem string a getter hands out; empty when it fails or gives none.
template <typename Getter> std::wstring take_string(Getter&& get)
{
    common::unique_cotaskmem_string text;
    const HRESULT hr = get(text.put());
    return SUCCEEDED(hr) && text ? text.get() : L"";
}
} // namespace tag_menu_host
