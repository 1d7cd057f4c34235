#include "reference/ReferenceTriode.h"

#include <gtest/gtest.h>

#include <cmath>

TEST (ReferenceTriode, SameCurrentsExactSlopesAndCountedGuardHits)
{
    ReferenceTriode exact;
    DempwolfTriode2<0> engine;
    for (double vgk : {-8.0, -2.0, -0.5, 0.0, 0.7, 2.0})
        for (double vpk : {20.0, 120.0, 300.0})
        {
            EXPECT_EQ (exact.gridCurrent (vgk, vpk), engine.gridCurrent (vgk, vpk));
            EXPECT_EQ (exact.cathodeCurrent (vgk, vpk), engine.cathodeCurrent (vgk, vpk));
            // The engine's 0.5 mV central differences agree with the exact slopes to O(h^2).
            const double a = exact.cathodeCurrentDerivVgk (vgk, vpk);
            EXPECT_NEAR (engine.cathodeCurrentDerivVgk (vgk, vpk), a, 1e-6 * a + 1e-14);
            const double b = exact.cathodeCurrentDerivVpk (vgk, vpk);
            EXPECT_NEAR (engine.cathodeCurrentDerivVpk (vgk, vpk), b, 1e-6 * b + 1e-16);
            const double c = exact.gridCurrentDerivVgk (vgk, vpk);
            EXPECT_NEAR (engine.gridCurrentDerivVgk (vgk, vpk), c, 1e-5 * c + 1e-16);
        }
    EXPECT_EQ (exact.overflowHitCount(), 0);

    exact.resetOverflowHits();
    EXPECT_EQ (exact.gridCurrent (80.0, 100.0), exact.Ig0);
    EXPECT_EQ (exact.gridCurrentDerivVgk (80.0, 100.0), 0.0);
    EXPECT_EQ (exact.overflowHitCount(), 1);
    EXPECT_EQ (exact.cathodeCurrent (250.0, 100.0), 0.0);
    EXPECT_EQ (exact.overflowHitCount(), 2);
    exact.resetOverflowHits();
    EXPECT_EQ (exact.overflowHitCount(), 0);
}
