// The operating point a block takes from its position's rate table when the rate changes.
#include "NetworkFixtures.h"
#include "models/RateTables.h"

#include <gtest/gtest.h>

TEST (RateTables, RateTableLookupAndFirstTimeRule)
{
    SampleShape s; // nv 2, ni 2, nx 3; records for 44100 and 88200
    TestBlock block (s.nv, s.ni, s.nx);
    BlockModelState m;
    auto image = sampleStandardFile (s)->writeToMemory();
    ASSERT_TRUE (loadModelImageIntoState (m, block, image.data(), image.size(), false).ok);

    // Record values are 1000 position + 100 record + element + 0.5 (element 0..6 over p, i, x).
    struct Case
    {
        int32_t rate;
        bool firstTime;
        int record; // -1: no record matches
    };
    const Case cases[] = {{88200, true, 1}, {44100, false, 0}, {96000, true, -1}, {96000, false, -1}};
    for (const Case& c : cases)
    {
        const double stale = -3.0;
        std::vector<double> opP (2, 0.0), opI (2, 0.0), opX (3, 0.0), p (2, stale), i (2, stale),
            x (3, stale);
        const RateTableTargets t{opP.data(), opI.data(), opX.data(), p.data(), i.data(), x.data()};
        applyRateTable (m, 1, c.rate, c.firstTime, t);
        auto value = [&] (int element)
        { return c.record < 0 ? 0.0 : 1000.0 + 100.0 * c.record + element + 0.5; };
        EXPECT_EQ (opP[1], value (1)) << c.rate;
        EXPECT_EQ (opI[0], value (2)) << c.rate;
        EXPECT_EQ (opX[2], value (6)) << c.rate;
        EXPECT_EQ (x[2], value (6)) << c.rate; // the running state always takes the operating copy
        EXPECT_EQ (p[1], c.firstTime ? value (1) : stale) << c.rate;
        EXPECT_EQ (i[1], c.firstTime ? value (3) : stale) << c.rate;
    }

    // Rate 0 does nothing at all.
    std::vector<double> opX (3, 5.0), x (3, 9.0);
    applyRateTable (m, 0, 0, true, {nullptr, nullptr, opX.data(), nullptr, nullptr, x.data()});
    EXPECT_EQ (x[0], 9.0);
}
