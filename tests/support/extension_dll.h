#pragma once

#include "support/scratch_folder.h"
#include "tools/explorer_driver/extension_dll.h"

#include <filesystem>
#include <stdexcept>

namespace test_support
{
inline std::filesystem::path dll_path()
{
    return executable_folder() / L"TagShellExtension.dll";
}

// The built TagShellExtension.dll, or a copy of it; a test that cannot load it stops there.
struct extension_dll : explorer_driver::extension_dll
{
    explicit extension_dll(const std::filesystem::path& path = dll_path())
        : explorer_driver::extension_dll(path.wstring())
    {
        if (!usable())
        {
            throw std::runtime_error("TagShellExtension.dll cannot be loaded");
        }
    }
};
} // namespace test_support
