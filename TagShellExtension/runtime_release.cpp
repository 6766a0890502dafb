#include "TagShellExtension/runtime_release.h"

#if defined(__MINGW32__) && defined(__GLIBCXX__)
#include <pthread.h>

namespace __gnu_cxx
{
// Frees libstdc++'s emergency exception pool.
void __freeres() noexcept;
} // namespace __gnu_cxx

// winpthreads' TLS callback, and its lookup of a thread's record.
extern "C" const PIMAGE_TLS_CALLBACK __xl_f;
extern "C" void* __pth_gpointer_locked(pthread_t thread);
#endif

namespace tag_extension
{
#if defined(__MINGW32__) && defined(__GLIBCXX__)
namespace
{
HMODULE module_being_unloaded = nullptr;

// winpthreads keeps a record (with an event and a duplicate of the thread's handle) for every
// thread that used it, found through a TLS slot that it allocates at each load and never
// frees: after about a thousand loads TlsAlloc fails and winpthreads aborts the host process.
// Its thread-detach callback releases this thread's record; then the slot goes.
void release_thread_library(HMODULE module)
{
    void* const record = __pth_gpointer_locked(pthread_self());
    DWORD slot = TLS_OUT_OF_INDEXES;
    for (DWORD i = 0; record != nullptr && i < TLS_MINIMUM_AVAILABLE + 1024; ++i)
    {
        if (TlsGetValue(i) == record)
        {
            slot = i;
            break;
        }
    }
    __xl_f(module, DLL_THREAD_DETACH, nullptr);
    if (slot != TLS_OUT_OF_INDEXES)
    {
        TlsFree(slot);
    }
}

// The module's first static object, so that its destructor runs after every other one.
struct release_after_statics
{
    ~release_after_statics()
    {
        if (module_being_unloaded != nullptr)
        {
            release_thread_library(module_being_unloaded);
            __gnu_cxx::__freeres();
        }
    }
};
release_after_statics last_static __attribute__((init_priority(101)));
} // namespace
#endif

void release_runtimes_at_unload([[maybe_unused]] HMODULE module, LPVOID reserved) noexcept
{
#if defined(__MINGW32__) && defined(__GLIBCXX__)
    if (reserved == nullptr)
    {
        module_being_unloaded = module;
    }
#else
    (void)reserved; // the MSVC runtime releases its own
#endif
}
} // namespace tag_extension
