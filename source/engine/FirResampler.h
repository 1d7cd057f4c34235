#pragma once

#include "shared/AlignedArray.h"

#include <cstdint>

// FIR filter used both as the polyphase up-sampler (phases = oversampling factor, 16 taps per
// phase) and as the decimating down-sampler (one phase, the full prototype length) around the
// oversampled blocks of a channel chain.
//
// Every coefficient array is a pre-rotated copy of one phase's sub-filter, so each output is a
// single straight pass over the ring in slot order with no index wrapping inside the loop:
// the array picked by the array index already lines each coefficient up with the ring slot
// that holds the matching input. That costs memory (prototype length x taps per phase floats)
// and buys an index-free 4-lane inner product.
class FirResampler
{
public:
    // totalTaps: prototype filter length N, a multiple of 8 x phases, at most 4096;
    // phases: 1 to 16; table: N coefficients, copied. Throws std::invalid_argument otherwise.
    FirResampler (int totalTaps, int phases, const float* table);

    // Writes one input value into the ring.
    void push (float value) noexcept
    {
        ring[writeIndex] = value;
        if (++writeIndex == tapsPerPhase)
            writeIndex = 0;
    }

    // Steps to the next coefficient array and returns its inner product with the ring.
    float nextOutput() noexcept
    {
        advance();
        return innerProduct (coefficientArray (arrayIndex));
    }

    // Steps to the next coefficient array without computing an output (the decimator's
    // skipped sub-samples).
    void advance() noexcept
    {
        if (++arrayIndex == arrayCount)
            arrayIndex = 0;
    }

    uint16_t getTapsPerPhase() const noexcept { return tapsPerPhase; }
    uint16_t getArrayCount() const noexcept { return arrayCount; }
    // Coefficient array a (tapsPerPhase values, 16-byte aligned).
    const float* coefficientArray (uint16_t a) const noexcept
    {
        return coefficients.data() + static_cast<std::size_t> (a) * tapsPerPhase;
    }
    const float* ringData() const noexcept { return ring.data(); }

private:
    float innerProduct (const float* coef) const noexcept;

    uint16_t tapsPerPhase;
    uint16_t arrayCount;
    uint16_t groupCount;
    uint16_t writeIndex;
    uint16_t arrayIndex;
    // arrayCount arrays of tapsPerPhase floats, back to back; tapsPerPhase is a multiple of 8,
    // so every array starts on a 16-byte boundary.
    AlignedArray<float> coefficients;
    AlignedArray<float> ring;
};
