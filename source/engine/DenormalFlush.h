#pragma once

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

// While alive, the current thread treats denormal floats as zero and flushes denormal results
// to zero, so decaying signals in the filters, state vectors and networks cannot drop the
// arithmetic onto its slow path. The caller's floating-point mode is restored on exit.
class DenormalFlush
{
public:
#if defined(__SSE__) || defined(_M_X64)
    static constexpr unsigned int flushToZero = 0x8000;      // FTZ
    static constexpr unsigned int denormalsAreZero = 0x0040; // DAZ

    DenormalFlush() noexcept : saved (_mm_getcsr())
    {
        _mm_setcsr (saved | flushToZero | denormalsAreZero);
    }
    ~DenormalFlush()
    {
        _mm_setcsr (saved);
    }

private:
    unsigned int saved;
#else
    DenormalFlush() noexcept {}
#endif

public:
    DenormalFlush (const DenormalFlush&) = delete;
    DenormalFlush& operator= (const DenormalFlush&) = delete;
};
