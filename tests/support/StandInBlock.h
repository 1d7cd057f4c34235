#pragma once

#include "engine/SSParamsVec.h"

#include <cmath>
#include <limits>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

// A circuit block for chain tests with simple, checkable behaviour:
//   p = E u with E(0,0) = 1 + control position and E(q,q) = 1 on the other diagonal entries,
//   x_next = x / 2 + u[0] (some memory, so state changes are visible),
//   y = u[0] + K i with K = currentGain on every port (0 by default: the output equals the
//   signal input).
// One supply input (u[1]) reads supplyVoltage. poisonAbove makes the state NaN for one sample
// when the signal input exceeds it, to stand for a block that has gone unstable.
class StandInBlock : public SSParamsVecAutomation
{
public:
    StandInBlock() : StandInBlock (2, 2, 1, 17) {}

    StandInBlock (uint32_t nv, uint32_t ni, uint32_t nx, int32_t positions)
        : SSParamsVecAutomation (nx, 2, nv, ni)
    {
        numPositions = positions;
        numAutomationValues = 1;
        numSourceInputs = 1;
        firstSourceInput = 1;
        updateMatrices();
    }

    void setSampleRate (double newRate) override
    {
        rate = newRate;
        ++sampleRateCalls;
        updateMatrices();
    }

    void updateMatrices() override
    {
        E.fill (0.0);
        for (uint32_t q = 0; q < numNonlinearInputs && q < numInputs; ++q)
            E (q, q) = 1.0;
        E (0, 0) = 1.0 + controlPosition;
        for (uint32_t s = 0; s < numStates; ++s)
            A (s, s) = 0.5;
        for (uint32_t j = 0; j < numNonlinearOutputs; ++j)
            K (0, j) = currentGain;
        H (0, 0) = 1.0;
    }

    void setControlPosition (uint32_t position) override
    {
        controlPosition = static_cast<int32_t> (position);
        updateMatrices();
    }

    double getAutomationValue (int32_t index) const override { return index == 0 ? supplyVoltage : 0.0; }

    // The dense product, column by column: D then E.
    void computeNonlinearInputs (const double* u, const double* x, double* p) const override
    {
        for (uint32_t r = 0; r < numNonlinearInputs; ++r)
            p[r] = 0.0;
        for (uint32_t c = 0; c < numStates; ++c)
            for (uint32_t r = 0; r < numNonlinearInputs; ++r)
                p[r] += x[c] * D (r, c);
        for (uint32_t c = 0; c < numInputs; ++c)
            for (uint32_t r = 0; r < numNonlinearInputs; ++r)
                p[r] += u[c] * E (r, c);
    }

    void updateState (const double* u, const double*, const double* x, double* xNext) const override
    {
#if defined(__SSE__)
        floatModeSeen = _mm_getcsr();
#endif
        const bool poison = u[0] > poisonAbove;
        for (uint32_t s = 0; s < numStates; ++s)
            xNext[s] = poison ? std::numeric_limits<double>::quiet_NaN() : 0.5 * x[s] + u[0];
    }

    void computeOutput (const double* u, const double*, const double* i, double* y) const override
    {
        double out = u[0];
        for (uint32_t j = 0; j < numNonlinearOutputs; ++j)
            out += currentGain * i[j];
        y[0] = out;
    }

    double rate = 0.0;
    int sampleRateCalls = 0;
    double currentGain = 0.0;
    double supplyVoltage = 300.0;
    double poisonAbove = std::numeric_limits<double>::infinity();
    mutable unsigned int floatModeSeen = 0; // MXCSR during the last updateState
};
