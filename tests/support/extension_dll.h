#pragma once

#include "TagShellExtension/com_module.h"
#include "support/scratch_folder.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include <filesystem>
#include <stdexcept>

namespace test_support
{
inline std::filesystem::path dll_path()
{
    return executable_folder() / L"TagShellExtension.dll";
}

// The built TagShellExtension.dll, or a copy of it, loaded the way Explorer loads it.
class extension_dll
{
public:
    explicit extension_dll(const std::filesystem::path& path = dll_path())
        : module_(LoadLibraryW(path.c_str()))
    {
        if (module_ == nullptr)
        {
            throw std::runtime_error("TagShellExtension.dll cannot be loaded");
        }
        get_class_object = reinterpret_cast<decltype(get_class_object)>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        can_unload_now = reinterpret_cast<decltype(can_unload_now)>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    }
    ~extension_dll() { FreeLibrary(module_); }
    extension_dll(const extension_dll&) = delete;
    extension_dll& operator=(const extension_dll&) = delete;

    Microsoft::WRL::ComPtr<IExplorerCommand> create_command() const
    {
        Microsoft::WRL::ComPtr<IClassFactory> factory;
        Microsoft::WRL::ComPtr<IExplorerCommand> command;
        if (SUCCEEDED(
                get_class_object(tag_extension::CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory))))
        {
            factory->CreateInstance(nullptr, IID_PPV_ARGS(&command));
        }
        return command;
    }
    HMODULE module() const { return module_; }

private:
    HMODULE module_ = nullptr;

public:
    // The DLL's own exports, called as Explorer calls them.
    HRESULT(STDAPICALLTYPE* get_class_object)(REFCLSID clsid, REFIID iid, void** result) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now)() = nullptr;
};
} // namespace test_support
