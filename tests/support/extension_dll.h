#pragma once

#include <shobjidl.h>
#include <wrl/client.h>

#include <filesystem>

namespace test_support
{
std::filesystem::path dll_path();

// The built TagShellExtension.dll, or a copy of it, loaded the way Explorer loads it.
class extension_dll
{
public:
    explicit extension_dll(const std::filesystem::path& path = dll_path());
    ~extension_dll();
    extension_dll(const extension_dll&) = delete;
    extension_dll& operator=(const extension_dll&) = delete;

    Microsoft::WRL::ComPtr<IExplorerCommand> create_command() const;
    HMODULE module() const { return module_; }

private:
    HMODULE module_ = nullptr;

public:
    // The DLL's own exports, called as Explorer calls them.
    HRESULT(STDAPICALLTYPE* get_class_object)(REFCLSID clsid, REFIID iid, void** result) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now)() = nullptr;
};
} // namespace test_support
