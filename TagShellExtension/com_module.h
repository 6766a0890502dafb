#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <climits>
#include <new>
#include <utility>

namespace tag_extension
{
// {A2877438-9A16-4629-912A-1223B4E3B025}: the Tag command, the one creatable class.
inline constexpr CLSID CLSID_tag_context_main_menu_item = {
    0xa2877438, 0x9a16, 0x4629, {0x91, 0x2a, 0x12, 0x23, 0xb4, 0xe3, 0xb0, 0x25}};

// Module lock count: the DLL may unload only while it is 0.
long module_lock() noexcept;
long module_unlock() noexcept;
long module_lock_count() noexcept;

// The interfaces an object answers, in table order; IUnknown answers with the first.
template <typename... Interfaces> struct interface_list
{
};

namespace detail
{
template <typename Self, typename First, typename... Rest>
void* find_interface(Self* self, REFIID iid, interface_list<First, Rest...>) noexcept
{
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(First)))
    {
        return static_cast<First*>(self);
    }
    void* found = nullptr;
    (void)((IsEqualIID(iid, __uuidof(Rest)) ? (found = static_cast<Rest*>(self), true) : false) || ...);
    return found;
}
} // namespace detail

// The reference-counted shell around a command class T (T lists its interfaces in
// `using interfaces = interface_list<...>`). Each living object holds one module lock.
template <typename T> class com_object final : public T
{
public:
    template <typename... Args> explicit com_object(Args&&... args) : T(std::forward<Args>(args)...)
    {
        module_lock();
    }

    ~com_object() override
    {
        // A stray AddRef during destruction must not bring the object back.
        references_ = destroyed_sentinel;
        module_unlock();
    }

    com_object(const com_object&) = delete;
    com_object& operator=(const com_object&) = delete;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept override
    {
        if (result == nullptr)
        {
            return E_POINTER;
        }
        *result = detail::find_interface(this, iid, typename T::interfaces{});
        if (*result == nullptr)
        {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    IFACEMETHODIMP_(ULONG) AddRef() noexcept override
    {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }

    IFACEMETHODIMP_(ULONG) Release() noexcept override
    {
        const long remaining = InterlockedDecrement(&references_);
        if (remaining == 0)
        {
            // Hold the module while the destructor runs so the DLL cannot go away under it.
            module_lock();
            delete this;
            module_unlock();
        }
        return static_cast<ULONG>(remaining);
    }

private:
    static constexpr long destroyed_sentinel = -(LONG_MAX / 2);
    long references_ = 0;
};

template <typename T> using com_ptr = Microsoft::WRL::ComPtr<com_object<T>>;

// Creates an object holding one reference. Throws std::bad_alloc, or whatever T's constructor throws.
template <typename T, typename... Args> com_ptr<T> make_object(Args&&... args)
{
    // Objects start at 0 references; the smart pointer takes the first. (Not Attach: the
    // MinGW ComPtr adds a reference there, unlike Microsoft's.)
    return com_ptr<T>(new com_object<T>(std::forward<Args>(args)...));
}

// Hands out `interface` of a fresh object, as a class factory would.
template <typename T> HRESULT create_instance(REFIID iid, void** result) noexcept
{
    if (result == nullptr)
    {
        return E_POINTER;
    }
    *result = nullptr;
    try
    {
        return make_object<T>()->QueryInterface(iid, result);
    }
    catch (...)
    {
        return E_OUTOFMEMORY;
    }
}

// The DLL's two exports.
HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** result) noexcept;
HRESULT can_unload_now() noexcept;
// Drops the class table's reference on the cached factory (process detach).
void release_class_objects() noexcept;
} // namespace tag_extension
