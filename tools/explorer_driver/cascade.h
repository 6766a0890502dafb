#pragma once

#include "common/unique_resources.h"

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>
#include <string_view>
#include <vector>

namespace explorer_driver
{
// Takes the CoTaskMem string a getter hands out; empty when it fails or gives none.
template <typename Getter> std::wstring take_string(Getter&& get)
{
    common::unique_cotaskmem_string text;
    const HRESULT hr = get(text.put());
    return SUCCEEDED(hr) && text ? text.get() : L"";
}

// The entries of a new enumerator, pulled one at a time as Explorer pulls them; none when it
// cannot be opened.
std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>> open_cascade(IExplorerCommand* command);

// What Explorer learns about one command while it builds the menu.
struct menu_entry
{
    std::wstring title; // as GetTitle gives it: a tab may separate the hot key
    HRESULT title_result = E_FAIL;
    std::wstring icon; // GetIcon's path; empty when there is none
    HRESULT icon_result = E_FAIL;
    EXPCMDSTATE state = ECS_HIDDEN;
    HRESULT state_result = E_FAIL;
    EXPCMDFLAGS flags = ECF_DEFAULT;
    GUID canonical_name{};

    bool is_separator() const { return (flags & ECF_ISSEPARATOR) != 0; }
    bool has_sub_commands() const { return (flags & ECF_HASSUBCOMMANDS) != 0; }
    bool is_hidden() const { return (state & ECS_HIDDEN) != 0; }
    bool is_disabled() const { return (state & ECS_DISABLED) != 0; }
};

// Title and icon first, then state and flags, the order in which Explorer asks.
menu_entry read_entry(IExplorerCommand* command, IShellItemArray* items);
// Every entry of a new cascade, read for those items; none when it cannot be opened.
std::vector<menu_entry> read_cascade(IExplorerCommand* command, IShellItemArray* items);

// The entry with this title (as GetTitle gives it, for no selection) in a new cascade, or null.
Microsoft::WRL::ComPtr<IExplorerCommand> find_entry(IExplorerCommand* command, std::wstring_view title);
} // namespace explorer_driver
