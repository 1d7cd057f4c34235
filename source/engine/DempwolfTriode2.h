#pragma once

#include "engine/Triode.h"

#include <cmath>
#include <limits>

// Each current is a power of a scaled softplus of the grid drive. Where exp overflows the
// currents fall back to their floor values (Ig0 and 0) with zero slope; no physical operating
// point of the preamp gets there, but an iterative solver can, so callers that solve the port
// equations must watch for it.
template <int Variant>
class DempwolfTriode2 : public Triode
{
public:
    DempwolfTriode2() { selectParameterSet (0); }

    void selectParameterSet (int set) override
    {
        if (set == 0)
            load (0.002242, 103.2, 1.26, 3.4, 0.0006177, 1.314, 9.901, 8.025e-8);
        else if (set == 1)
            load (0.002173, 100.2, 1.28, 3.19, 0.0005911, 1.358, 11.76, 4.527e-8);
        else
            load (0.001371, 86.9, 1.349, 4.56, 0.0003263, 1.156, 11.99, 3.917e-8);
    }

    double gridCurrent (double vgk, double /*vpk*/) const override
    {
        const double e = std::exp (Cg * vgk);
        if (overflows (1.0 + e))
            return Ig0;
        return Gg * std::pow (std::log (1.0 + e) * invCg, xi) + Ig0;
    }

    double cathodeCurrent (double vgk, double vpk) const override
    {
        const double e = std::exp (C * (vpk * invMu + vgk));
        if (overflows (1.0 + e))
            return 0.0;
        return G * std::pow (std::log (1.0 + e) * invC, gamma);
    }

    double gridCurrentDerivVgk (double vgk, double vpk) const override
    {
        return (gridCurrent (vgk + halfStep, vpk) - gridCurrent (vgk - halfStep, vpk)) * 1000.0;
    }

    double gridCurrentDerivVpk (double, double) const override { return 0.0; }

    double cathodeCurrentDerivVgk (double vgk, double vpk) const override
    {
        return (cathodeCurrent (vgk + halfStep, vpk) - cathodeCurrent (vgk - halfStep, vpk)) * 1000.0;
    }

    double cathodeCurrentDerivVpk (double vgk, double vpk) const override
    {
        return (cathodeCurrent (vgk, vpk + halfStep) - cathodeCurrent (vgk, vpk - halfStep)) * 1000.0;
    }

    double G = 0.0;     // cathode-current scale, A/V^gamma
    double C = 0.0;     // cathode-current softplus sharpness, 1/V
    double mu = 0.0;    // amplification factor
    double invC = 0.0;  // 1/C, kept so that no division is done per call
    double invMu = 0.0; // 1/mu
    double gamma = 0.0; // cathode-current exponent
    double Gg = 0.0;    // grid-current scale, A/V^xi
    double Cg = 0.0;    // grid-current softplus sharpness, 1/V
    double xi = 0.0;    // grid-current exponent
    double Ig0 = 0.0;   // grid-current offset, A
    double invCg = 0.0; // 1/Cg

    // Central differences use +-0.5 mV and multiply by 1000 instead of dividing by 2h.
    static constexpr double halfStep = 5e-4;

private:
    static bool overflows (double v)
    {
        return v > std::numeric_limits<double>::max() || v < -std::numeric_limits<double>::max();
    }

    void load (double g, double m, double gam, double c, double gg, double x, double cg, double ig0)
    {
        G = g;
        mu = m;
        gamma = gam;
        C = c;
        Gg = gg;
        xi = x;
        Cg = cg;
        Ig0 = ig0;
        invCg = 1.0 / Cg;
        invC = 1.0 / C;
        invMu = 1.0 / mu;
    }
};

extern template class DempwolfTriode2<0>;
