#include "TagShellExtension/com_module.h"

#include "TagShellExtension/tag_context_main_menu_item.h"

#include <atomic>
#include <mutex>

namespace tag_extension
{
namespace
{
std::atomic<long> lock_count{0};

// The cached factory: the class table keeps one reference of its own, which must not
// keep the DLL loaded, so only references beyond it take a module lock.
class class_factory final : public IClassFactory
{
public:
    IFACEMETHODIMP QueryInterface(REFIID iid, void** result) noexcept override
    {
        if (result == nullptr)
        {
            return E_POINTER;
        }
        if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IClassFactory)))
        {
            *result = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }

    IFACEMETHODIMP_(ULONG) AddRef() noexcept override
    {
        const long count = InterlockedIncrement(&references_);
        if (count == 2)
        {
            module_lock();
        }
        return static_cast<ULONG>(count);
    }

    IFACEMETHODIMP_(ULONG) Release() noexcept override
    {
        const long count = InterlockedDecrement(&references_);
        if (count == 1)
        {
            module_unlock();
        }
        else if (count == 0)
        {
            delete this;
        }
        return static_cast<ULONG>(count);
    }

    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) noexcept override
    {
        if (result == nullptr)
        {
            return E_POINTER;
        }
        *result = nullptr;
        if (outer != nullptr)
        {
            return CLASS_E_NOAGGREGATION;
        }
        return create_instance<tag_context_main_menu_item>(iid, result);
    }

    IFACEMETHODIMP LockServer(BOOL lock) noexcept override
    {
        if (lock)
        {
            module_lock();
        }
        else
        {
            module_unlock();
        }
        return S_OK;
    }

private:
    long references_ = 0;
};

std::mutex class_table_lock;
std::atomic<void*> cached_factory{nullptr}; // stored encoded

class_factory* decoded_factory() noexcept
{
    return static_cast<class_factory*>(DecodePointer(cached_factory.load()));
}
} // namespace

long module_lock() noexcept
{
    return ++lock_count;
}

long module_unlock() noexcept
{
    return --lock_count;
}

long module_lock_count() noexcept
{
    return lock_count.load();
}

HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** result) noexcept
{
    if (result == nullptr)
    {
        return E_POINTER;
    }
    *result = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_tag_context_main_menu_item))
    {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    if (cached_factory.load() == nullptr)
    {
        try
        {
            std::lock_guard guard(class_table_lock);
            if (cached_factory.load() == nullptr)
            {
                auto* factory = new class_factory();
                factory->AddRef(); // the class table's own reference
                cached_factory.store(EncodePointer(factory));
            }
        }
        catch (...)
        {
            return E_OUTOFMEMORY;
        }
    }
    const HRESULT hr = decoded_factory()->QueryInterface(iid, result);
    if (SUCCEEDED(hr) && *result == nullptr)
    {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return hr;
}

HRESULT can_unload_now() noexcept
{
    return lock_count.load() == 0 ? S_OK : S_FALSE;
}

void release_class_objects() noexcept
{
    std::lock_guard guard(class_table_lock);
    if (void* encoded = cached_factory.exchange(nullptr))
    {
        static_cast<class_factory*>(DecodePointer(encoded))->Release();
    }
}
} // namespace tag_extension
