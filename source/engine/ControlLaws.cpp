#include "engine/ControlLaws.h"

#include <cmath>

namespace
{
// Each power is evaluated separately so the ends of the taper land exactly on 0 and 1.
double taper17 (double s)
{
    return (std::pow (17.0, s) - std::pow (17.0, 0.0)) / (std::pow (17.0, 1.0) - std::pow (17.0, 0.0));
}
} // namespace

PotParts gainLawParts (uint32_t position, double step)
{
    const double lower = taper17 (position * step) * 993945.0 + 6054.0;
    return {999999.0 - lower, lower};
}

ToneSetting toneLawSetting (uint32_t position, int perControl, double step)
{
    const auto n = static_cast<uint32_t> (perControl);
    uint32_t treble = 0, bass = 0, middle = 0;
    if (position < n * n * n)
    {
        treble = position / (n * n);
        bass = (position / n) % n;
        middle = position % n;
    }

    const double trebleLower = treble * step * 219999.0 + 1.0;
    const double middleLower = middle * step * 49999.0 + 1.0;
    return {{220000.0 - trebleLower, trebleLower},
            taper17 (bass * step) * 999999.0 + 1.0,
            {50000.0 - middleLower, middleLower}};
}
