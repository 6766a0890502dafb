#pragma once

#include <shobjidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace test_support
{
// A selection as Explorer hands it over, with the failures Explorer can produce.
struct fake_selection
{
    std::vector<std::wstring> paths;
    bool fail_get_item = false;
    bool fail_display_name = false;
};

Microsoft::WRL::ComPtr<IShellItemArray> make_items(const fake_selection& selection);
Microsoft::WRL::ComPtr<IShellItemArray> make_items(const std::vector<std::wstring>& paths);
} // namespace test_support
