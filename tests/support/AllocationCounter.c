/* Counts heap allocations made while a counting scope is open. The test binary interposes the
   C allocation functions (libstdc++'s operator new goes through malloc), forwarding to glibc's
   own entry points, so allocations inside the libraries (FANN, libstdc++) are seen too.
   Written in C: C++ would reject redeclaring these with different exception declarations (throw clauses).
   Under AddressSanitizer or ThreadSanitizer the sanitizer owns the allocator and memory from
   glibc's entry points would reach its free: the counter then listens to the sanitizer's own
   allocation hook instead of interposing. */
#include <errno.h>
#include <stdatomic.h>
#include <stddef.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VARKEL_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VARKEL_SANITIZER_ALLOCATOR 1
#endif
#endif

static atomic_bool counting = 0;
static atomic_size_t count = 0;

static void note (void)
{
    if (atomic_load_explicit (&counting, memory_order_relaxed))
        atomic_fetch_add_explicit (&count, 1, memory_order_relaxed);
}

#ifdef VARKEL_SANITIZER_ALLOCATOR
int __sanitizer_install_malloc_and_free_hooks (void (*onMalloc) (const volatile void*, size_t),
                                               void (*onFree) (const volatile void*));

static void onMalloc (const volatile void* p, size_t size)
{
    (void)p;
    (void)size;
    note();
}

static void onFree (const volatile void* p)
{
    (void)p;
}

__attribute__ ((constructor)) static void installAllocationHook (void)
{
    __sanitizer_install_malloc_and_free_hooks (onMalloc, onFree);
}
#else
void* __libc_malloc (size_t);
void* __libc_calloc (size_t, size_t);
void* __libc_realloc (void*, size_t);
void* __libc_memalign (size_t, size_t);

void* malloc (size_t size)
{
    note();
    return __libc_malloc (size);
}

void* calloc (size_t n, size_t size)
{
    note();
    return __libc_calloc (n, size);
}

void* realloc (void* p, size_t size)
{
    note();
    return __libc_realloc (p, size);
}

void* memalign (size_t alignment, size_t size)
{
    note();
    return __libc_memalign (alignment, size);
}

void* aligned_alloc (size_t alignment, size_t size)
{
    note();
    return __libc_memalign (alignment, size);
}

int posix_memalign (void** out, size_t alignment, size_t size)
{
    note();
    void* p = __libc_memalign (alignment, size);
    if (p == NULL)
        return ENOMEM;
    *out = p;
    return 0;
}
#endif

void allocationCounterStart (void)
{
    atomic_store (&count, 0);
    atomic_store (&counting, 1);
}

size_t allocationCounterStop (void)
{
    atomic_store (&counting, 0);
    return atomic_load (&count);
}
