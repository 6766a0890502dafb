#pragma once

// Owning types for the Windows resources this code holds, one per line below, under the
// names the Windows Implementation Library gives them (WIL itself does not build with
// MinGW-w64). Each closes its resource exactly once and moves, never copies.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>

#include <utility>

namespace common
{
// A handle-like value with one invalid value and one close function, described by Traits.
template <typename Traits> class unique_any
{
public:
    using pointer = typename Traits::type;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : value_(value) {}
    ~unique_any() { reset(); }
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept
    {
        if (this != &other)
        {
            reset(other.release());
        }
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }
    void reset(pointer value = Traits::invalid()) noexcept
    {
        if (value_ != Traits::invalid())
        {
            Traits::close(value_);
        }
        value_ = value;
    }
    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }
    // Closes what is held and hands out the slot for a call that fills it.
    pointer* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

namespace resource_traits
{
template <typename T, auto Close> struct null_invalid
{
    using type = T;
    static constexpr T invalid() noexcept { return nullptr; }
    static void close(T value) noexcept { Close(value); }
};
template <auto Close> struct invalid_handle_value
{
    using type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE value) noexcept { Close(value); }
};
} // namespace resource_traits

using unique_handle = unique_any<resource_traits::null_invalid<HANDLE, &CloseHandle>>;
using unique_hfile = unique_any<resource_traits::invalid_handle_value<&CloseHandle>>;
using unique_hfind = unique_any<resource_traits::invalid_handle_value<&FindClose>>;
using unique_hkey = unique_any<resource_traits::null_invalid<HKEY, &RegCloseKey>>;
using unique_hmodule = unique_any<resource_traits::null_invalid<HMODULE, &FreeLibrary>>;
using unique_hlocal = unique_any<resource_traits::null_invalid<HLOCAL, &LocalFree>>;
using unique_cotaskmem_string = unique_any<resource_traits::null_invalid<wchar_t*, &CoTaskMemFree>>;
template <typename T>
using unique_cotaskmem_ptr = unique_any<resource_traits::null_invalid<T*, &CoTaskMemFree>>;
using unique_bstr = unique_any<resource_traits::null_invalid<BSTR, &SysFreeString>>;

// A structure that owns what it points to, initialised on construction and cleared once.
template <typename T, auto Init, auto Clear> class unique_struct : public T
{
public:
    unique_struct() noexcept { Init(this); }
    ~unique_struct() { Clear(this); }
    unique_struct(const unique_struct&) = delete;
    unique_struct& operator=(const unique_struct&) = delete;

    void reset() noexcept
    {
        Clear(this);
        Init(this);
    }
    // Clears what is held and hands out the structure for a call that fills it.
    T* reset_and_addressof() noexcept
    {
        reset();
        return this;
    }
    T* addressof() noexcept { return this; }
};

using unique_prop_variant = unique_struct<PROPVARIANT, &PropVariantInit, &PropVariantClear>;
using unique_variant = unique_struct<VARIANT, &VariantInit, &VariantClear>;

// The two handles CreateProcessW hands out, closed together.
class unique_process_information : public PROCESS_INFORMATION
{
public:
    unique_process_information() noexcept : PROCESS_INFORMATION{} {}
    ~unique_process_information()
    {
        if (hThread != nullptr)
        {
            CloseHandle(hThread);
        }
        if (hProcess != nullptr)
        {
            CloseHandle(hProcess);
        }
    }
    unique_process_information(const unique_process_information&) = delete;
    unique_process_information& operator=(const unique_process_information&) = delete;
};

// Leaves the COM apartment on scope exit, but only one this thread entered through it.
class unique_couninitialize_call
{
public:
    explicit unique_couninitialize_call(bool entered = false) noexcept : entered_(entered) {}
    ~unique_couninitialize_call()
    {
        if (entered_)
        {
            CoUninitialize();
        }
    }
    unique_couninitialize_call(unique_couninitialize_call&& other) noexcept
        : entered_(std::exchange(other.entered_, false))
    {
    }
    unique_couninitialize_call& operator=(unique_couninitialize_call&&) = delete;
    unique_couninitialize_call(const unique_couninitialize_call&) = delete;
    unique_couninitialize_call& operator=(const unique_couninitialize_call&) = delete;

private:
    bool entered_;
};

// Enters an apartment for the current scope. A thread already in another kind of apartment
// stays there (RPC_E_CHANGED_MODE), and nothing is left on exit.
[[nodiscard]] inline unique_couninitialize_call
co_initialize_ex(DWORD flags = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) noexcept
{
    return unique_couninitialize_call(SUCCEEDED(CoInitializeEx(nullptr, flags)));
}
} // namespace common
