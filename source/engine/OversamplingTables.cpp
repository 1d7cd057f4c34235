#include "engine/OversamplingTables.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr double pi = 3.14159265358979323846;

// Modified Bessel function of the first kind, order 0, by its power series; the terms fall
// off factorially, so a few dozen suffice for the window shapes used here.
double besselI0 (double x)
{
    const double halfX = 0.5 * x;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 200; ++k)
    {
        const double ratio = halfX / k;
        term *= ratio * ratio;
        sum += term;
        if (term < sum * 1e-17)
            break;
    }
    return sum;
}

double sinc (double t)
{
    if (t == 0.0)
        return 1.0;
    return std::sin (pi * t) / (pi * t);
}

// The cutoff is a fixed fraction of the host rate whatever the host rate is.
constexpr double hostCutoff = 19000.0 / 44100.0;

std::vector<float> fixed32Taps()
{
    // Only the first half is stored; the filter is symmetric.
    static constexpr float firstHalf[16] = {
        -0.000324488879f, -0.000595402031f, 0.000547701551f, 0.00316008064f, 0.00315068499f, -0.00381859206f,
        -0.0122818742f,   -0.00681193871f,  0.017125072f,    0.0334667675f,  0.00589994015f, -0.0568418205f,
        -0.0791969225f,   0.0162936635f,    0.209751964f,    0.370763004f,
    };
    std::vector<float> taps (32);
    for (int k = 0; k < 16; ++k)
    {
        taps[k] = firstHalf[k];
        taps[31 - k] = firstHalf[k];
    }
    return taps;
}
} // namespace

std::vector<float> kaiserLowPass (int length, double cutoff, double beta)
{
    std::vector<double> h (static_cast<size_t> (length));
    const double middle = (length - 1) / 2.0;
    const double windowNorm = besselI0 (beta);
    double sum = 0.0;
    for (int k = 0; k < length; ++k)
    {
        const double position = 2.0 * k / (length - 1) - 1.0;
        const double window =
            besselI0 (beta * std::sqrt (std::max (0.0, 1.0 - position * position))) / windowNorm;
        h[k] = 2.0 * cutoff * sinc (2.0 * cutoff * (k - middle)) * window;
        sum += h[k];
    }
    std::vector<float> taps (static_cast<size_t> (length));
    for (int k = 0; k < length; ++k)
        taps[k] = static_cast<float> (h[k] / sum);
    return taps;
}

const std::vector<float>& oversamplingTable (int factor)
{
    // Function-local statics: built once, on first use, thread-safe, shared by all chains.
    static const std::vector<float> t32 = fixed32Taps();
    static const std::vector<float> t64 = kaiserLowPass (64, hostCutoff / 4, 4.0);
    static const std::vector<float> t128 = kaiserLowPass (128, hostCutoff / 8, 7.0);
    static const std::vector<float> t256 = kaiserLowPass (256, hostCutoff / 16, 7.0);
    static const std::vector<float> none;
    switch (factor)
    {
    case 2:
        return t32;
    case 4:
        return t64;
    case 8:
        return t128;
    case 16:
        return t256;
    default:
        return none;
    }
}
