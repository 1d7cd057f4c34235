#pragma once

#include <cstdint>
#include <memory>

// Sliding sum and sum of squares over the last 20480 level values of a chain (the cathode
// current of the last stage). The editor reads invLength, sum and sumSquares under the
// processor's callback lock to animate the valve glow. The sums are updated incrementally and
// never recomputed, so the per-sample cost is two float updates.
class LevelWindow
{
public:
    static constexpr uint32_t length = 20480;

    LevelWindow();

    void push (float value) noexcept
    {
        if (++cursor == buffer.get() + length)
            cursor = buffer.get();
        const float old = *cursor;
        sum = (value - old) + sum;
        sumSquares = (value * value - old * old) + sumSquares;
        *cursor = value;
    }

    const float invLength;
    float sum = 0.0f;
    float sumSquares = 0.0f;

private:
    struct AlignedDelete
    {
        void operator() (float* p) const noexcept;
    };
    std::unique_ptr<float[], AlignedDelete> buffer;
    float* cursor;
};
