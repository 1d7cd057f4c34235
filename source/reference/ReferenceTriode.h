#pragma once

#include "engine/DempwolfTriode2.h"

// The preamp's triode with exact derivatives of its equations (the engine's model differentiates
// numerically) and a count of evaluations that fell on the exp-overflow guard. The guard returns
// floor currents with zero slope, a flat false branch that Newton's method can settle on; no real
// operating point of the preamp reaches it, so a solution evaluated there is not a solution.
class ReferenceTriode : public DempwolfTriode2<0>
{
public:
    double gridCurrent (double vgk, double vpk) const override;
    double cathodeCurrent (double vgk, double vpk) const override;
    double gridCurrentDerivVgk (double vgk, double vpk) const override;
    double cathodeCurrentDerivVgk (double vgk, double vpk) const override;
    double cathodeCurrentDerivVpk (double vgk, double vpk) const override;

    void resetOverflowHits() const { overflowHits = 0; }
    long overflowHitCount() const { return overflowHits; }

private:
    mutable long overflowHits = 0;
};
