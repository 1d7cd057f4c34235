#include "engine/FirResampler.h"

#include <stdexcept>
#include <string>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define VARKEL_FIR_SSE 1
#endif

namespace
{
bool isValidShape (int totalTaps, int phases)
{
    return phases >= 1 && phases <= 16 && totalTaps > 0 && totalTaps <= 4096 && totalTaps % (8 * phases) == 0;
}
} // namespace

FirResampler::FirResampler (int totalTaps, int phases, const float* table)
{
    if (!isValidShape (totalTaps, phases) || table == nullptr)
        throw std::invalid_argument ("FirResampler: " + std::to_string (totalTaps) + " taps in " +
                                     std::to_string (phases) + " phases is not a valid filter shape");

    const int c = totalTaps / phases;
    tapsPerPhase = static_cast<uint16_t> (c);
    arrayCount = static_cast<uint16_t> (totalTaps);
    groupCount = static_cast<uint16_t> (c / 8);
    coefficients = AlignedArray<float> (static_cast<std::size_t> (totalTaps) * c);
    ring = AlignedArray<float> (static_cast<std::size_t> (c));

    // Phase q's sub-filter, scaled by the phase count to make up for the zeros an
    // interpolator inserts, is stored once per rotation r, reversed, so that array q + r P
    // pairs slot (c - 1 - t) of the ring with tap (r + t) mod c.
    AlignedArray<float> subFilter (static_cast<std::size_t> (c));
    const float scale = static_cast<float> (phases);
    for (int q = 0; q < phases; ++q)
    {
        for (int j = 0; j < c; ++j)
            subFilter[j] = scale * table[q + j * phases];
        for (int r = 0; r < c; ++r)
        {
            float* array = coefficients.data() + static_cast<std::size_t> (q + r * phases) * c;
            for (int t = 0; t < c; ++t)
                array[c - 1 - t] = subFilter[(r + t) % c];
        }
    }

    writeIndex = static_cast<uint16_t> (c - 1);
    arrayIndex = static_cast<uint16_t> (arrayCount - 1);
}

// Per 8-tap group: two 4-lane products added lane by lane, then the four lanes summed as
// ((a1 + a0) + a2) + a3 into the running total. The order is fixed so that the vector and
// scalar builds give bit-identical outputs.
float FirResampler::innerProduct (const float* coef) const noexcept
{
    const float* in = ring.data();
#if VARKEL_FIR_SSE
    __m128 total = _mm_setzero_ps();
    for (int g = 0; g < groupCount; ++g)
    {
        const int base = 8 * g;
        const __m128 high = _mm_mul_ps (_mm_load_ps (coef + base + 4), _mm_load_ps (in + base + 4));
        const __m128 low = _mm_mul_ps (_mm_load_ps (coef + base), _mm_load_ps (in + base));
        const __m128 acc = _mm_add_ps (high, low);
        __m128 lanes = _mm_add_ss (_mm_shuffle_ps (acc, acc, _MM_SHUFFLE (1, 1, 1, 1)), acc);
        lanes = _mm_add_ss (lanes, _mm_movehl_ps (acc, acc));
        lanes = _mm_add_ss (lanes, _mm_shuffle_ps (acc, acc, _MM_SHUFFLE (3, 3, 3, 3)));
        total = _mm_add_ss (total, lanes);
    }
    return _mm_cvtss_f32 (total);
#else
    float total = 0.0f;
    for (int g = 0; g < groupCount; ++g)
    {
        const int base = 8 * g;
        float acc[4];
        for (int j = 0; j < 4; ++j)
            acc[j] = coef[base + 4 + j] * in[base + 4 + j] + coef[base + j] * in[base + j];
        total += ((acc[1] + acc[0]) + acc[2]) + acc[3];
    }
    return total;
#endif
}
