// Counts the calls of operator new on each thread, so the tests and the benchmark can prove that
// a path allocates nothing. A file of its own: GCC misreads free() in an inlined delete as a
// mismatch.
#include <cstdlib>
#include <new>

static thread_local std::size_t allocation_count = 0;

std::size_t allocations_on_this_thread()
{
    return allocation_count;
}

void* operator new(std::size_t size)
{
    ++allocation_count;
    void* memory = std::malloc(size == 0 ? 1 : size);
    return memory != nullptr ? memory : throw std::bad_alloc();
}

// The array forms of the static runtime forward to these.
void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
