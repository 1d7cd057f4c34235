// Proves the per-sample path allocates nothing: this binary replaces the C allocator (which
// operator new and the network library also use) with counting wrappers around glibc's own.
// Under AddressSanitizer or ThreadSanitizer the sanitizer owns the allocator: the count then comes
// from the sanitizer's allocation hook instead.

#include "NetworkFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <limits>

namespace
{
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void note()
{
    if (counting.load (std::memory_order_relaxed))
        allocations.fetch_add (1, std::memory_order_relaxed);
}
} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VARKEL_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VARKEL_SANITIZER_ALLOCATOR 1
#endif
#endif

#ifdef VARKEL_SANITIZER_ALLOCATOR
extern "C" int __sanitizer_install_malloc_and_free_hooks (void (*onMalloc) (const volatile void*, size_t),
                                                          void (*onFree) (const volatile void*));
namespace
{
[[maybe_unused]] const int allocationHookInstalled = __sanitizer_install_malloc_and_free_hooks (
    [] (const volatile void*, size_t) { note(); }, [] (const volatile void*) {});
} // namespace
#else
extern "C"
{
    void* __libc_malloc (size_t);
    void* __libc_calloc (size_t, size_t);
    void* __libc_realloc (void*, size_t);
    void* __libc_memalign (size_t, size_t);
    void __libc_free (void*);
}

extern "C"
{
    void* malloc (size_t size)
    {
        note();
        return __libc_malloc (size);
    }
    void* calloc (size_t count, size_t size)
    {
        note();
        return __libc_calloc (count, size);
    }
    void* realloc (void* p, size_t size)
    {
        note();
        return __libc_realloc (p, size);
    }
    void* aligned_alloc (size_t alignment, size_t size)
    {
        note();
        return __libc_memalign (alignment, size);
    }
    void* memalign (size_t alignment, size_t size)
    {
        note();
        return __libc_memalign (alignment, size);
    }
    int posix_memalign (void** out, size_t alignment, size_t size)
    {
        note();
        *out = __libc_memalign (alignment, size);
        return *out != nullptr ? 0 : 12;
    }
    void free (void* p)
    {
        __libc_free (p);
    }
}
#endif

TEST (RegionStepAllocation, SearchEvaluateProjectAndFallbackAllocateNothing)
{
    // The counter itself must work, or a zero below proves nothing.
    counting = true;
    auto* probe = new std::vector<int> (100);
    counting = false;
    delete probe;
    ASSERT_GE (allocations.load(), 1);

    for (const bool usesPca : {false, true})
    {
        SampleShape s;
        s.nv = 4;
        s.ni = 4;
        s.nx = 5;
        s.hidden = {8};
        s.netsPerPosition = 8;
        const auto image =
            usesPca ? samplePcaFile (s, 3)->writeToMemory() : sampleStandardFile (s)->writeToMemory();
        TestBlock block (4, 4, 5);
        BlockModelState m;
        ASSERT_TRUE (loadModelImageIntoState (m, &block, image.data(), image.size(), usesPca).ok);
        selectPosition (m, 1);
        ASSERT_EQ (m.projectionNeeded, usesPca ? 1 : 0);

        double p[4], i[4] = {};
        SampleValues values (3);
        allocations = 0;
        counting = true;
        for (int n = 0; n < 2000; ++n)
        {
            for (double& v : p)
                v = 1.5 * values.next(); // some points lie outside every box
            if (n % 97 == 0)
                p[0] = std::numeric_limits<double>::quiet_NaN();
            regionStep (m, n % 4, p, i);
        }
        counting = false;
        EXPECT_EQ (allocations.load(), 0) << (usesPca ? "pca" : "standard");
    }
}

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
