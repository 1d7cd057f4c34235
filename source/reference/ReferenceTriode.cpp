#include "reference/ReferenceTriode.h"

#include <cmath>
#include <limits>

namespace
{
bool overflowed (double e)
{
    return 1.0 + e > std::numeric_limits<double>::max();
}

// d/dz of (ln(1 + e^(c z)) / c)^power, with e = e^(c z): power * base^(power-1) * e / (1 + e).
double softplusPowerSlope (double e, double invSharpness, double power)
{
    if (overflowed (e))
        return 0.0;
    const double base = std::log (1.0 + e) * invSharpness;
    return power * std::pow (base, power - 1.0) * (e / (1.0 + e));
}
} // namespace

double ReferenceTriode::gridCurrent (double vgk, double vpk) const
{
    if (overflowed (std::exp (Cg * vgk)))
        ++overflowHits;
    return DempwolfTriode2<0>::gridCurrent (vgk, vpk);
}

double ReferenceTriode::cathodeCurrent (double vgk, double vpk) const
{
    if (overflowed (std::exp (C * (vpk * invMu + vgk))))
        ++overflowHits;
    return DempwolfTriode2<0>::cathodeCurrent (vgk, vpk);
}

double ReferenceTriode::gridCurrentDerivVgk (double vgk, double) const
{
    return Gg * softplusPowerSlope (std::exp (Cg * vgk), invCg, xi);
}

double ReferenceTriode::cathodeCurrentDerivVgk (double vgk, double vpk) const
{
    return G * softplusPowerSlope (std::exp (C * (vpk * invMu + vgk)), invC, gamma);
}

double ReferenceTriode::cathodeCurrentDerivVpk (double vgk, double vpk) const
{
    return cathodeCurrentDerivVgk (vgk, vpk) * invMu;
}
