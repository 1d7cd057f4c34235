#include "engine/DempwolfTriode2.h"

#include <gtest/gtest.h>

#include <cmath>

using Dempwolf = DempwolfTriode2<0>;

TEST (DempwolfTriode, ZeroBiasMatchesTheEquations)
{
    Dempwolf t;
    EXPECT_DOUBLE_EQ (t.gridCurrent (0.0, 0.0), 0.0006177 * std::pow (std::log (2.0) / 9.901, 1.314) + 8.025e-8);
    EXPECT_DOUBLE_EQ (t.cathodeCurrent (0.0, 0.0), 0.002242 * std::pow (std::log (2.0) / 3.4, 1.26));
}
