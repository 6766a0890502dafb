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

// The entry with this title (as GetTitle gives it, for no selection) in a new cascade, or null.
Microsoft::WRL::ComPtr<IExplorerCommand> find_entry(IExplorerCommand* command, std::wstring_view title);
} // namespace explorer_driver
