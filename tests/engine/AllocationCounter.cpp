#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

std::atomic<long>& allocationCount()
{
    static std::atomic<long> count{0};
    return count;
}

void* operator new (std::size_t size)
{
    ++allocationCount();
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete (void* p) noexcept
{
    std::free (p);
}

void operator delete (void* p, std::size_t) noexcept
{
    std::free (p);
}
