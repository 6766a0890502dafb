#pragma once

#include <shobjidl.h>
#include <wrl/client.h>

#include <filesystem>

namespace test_support
{
// The built TagShellExtension.dll, loaded the way Explorer loads it.
class extension_dll
{
public:
    extension_dll();
    ~extension_dll();
    extension_dll(const extension_dll&) = delete;
    extension_dll& operator=(const extension_dll&) = delete;

    HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** result) const;
    HRESULT can_unload_now() const;
    Microsoft::WRL::ComPtr<IExplorerCommand> create_command() const;
    HMODULE module() const { return module_; }

private:
    HMODULE module_ = nullptr;
    HRESULT(STDAPICALLTYPE* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now_)() = nullptr;
};

std::filesystem::path dll_path();
} // namespace test_support
