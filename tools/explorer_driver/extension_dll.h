#pragma once

#include "common/unique_resources.h"

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>

namespace explorer_driver
{
// The Tag command's class, as the registration files name it.
inline constexpr CLSID tag_command_class = {
    0xa2877438, 0x9a16, 0x4629, {0x91, 0x2a, 0x12, 0x23, 0xb4, 0xe3, 0xb0, 0x25}};

// The built extension DLL, loaded as Explorer loads it and called only through its exports.
class extension_dll
{
public:
    explicit extension_dll(const std::wstring& path);
    extension_dll(const extension_dll&) = delete;
    extension_dll& operator=(const extension_dll&) = delete;

    // The system's error when the DLL did not load; 0 when it did.
    DWORD load_error() const noexcept { return load_error_; }
    // Loaded, with both exports Explorer calls.
    bool usable() const noexcept { return get_class_object != nullptr && can_unload_now != nullptr; }
    HMODULE module() const noexcept { return module_.get(); }
    // The Tag command from a new class factory; null when the DLL refuses either step.
    Microsoft::WRL::ComPtr<IExplorerCommand> create_command() const;

    HRESULT(STDAPICALLTYPE* get_class_object)(REFCLSID clsid, REFIID iid, void** result) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now)() = nullptr;

private:
    common::unique_hmodule module_;
    DWORD load_error_ = 0;
};
} // namespace explorer_driver
