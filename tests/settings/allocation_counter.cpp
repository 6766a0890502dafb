#include "settings/settings_support.h"

#include <cstdlib>
#include <new>

// Apart from the other helpers: GCC misreads free() in an inlined delete as a mismatch.
namespace
{
thread_local std::size_t allocation_count = 0;
}

void* operator new(std::size_t size)
{
    ++allocation_count;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
    {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

std::size_t settings_tests::allocations_on_this_thread()
{
    return allocation_count;
}
