#pragma once

// Grid and cathode currents of one triode as functions of its grid-cathode voltage Vgk and
// plate-cathode voltage Vpk (volts in, amperes out), with their partial derivatives.
class Triode
{
public:
    virtual void selectParameterSet (int set) = 0;
    virtual ~Triode() = default;

    virtual double gridCurrent (double vgk, double vpk) const = 0;
    virtual double cathodeCurrent (double vgk, double vpk) const = 0;
    virtual double gridCurrentDerivVgk (double vgk, double vpk) const = 0;
    virtual double gridCurrentDerivVpk (double vgk, double vpk) const = 0;
    virtual double cathodeCurrentDerivVgk (double vgk, double vpk) const = 0;
    virtual double cathodeCurrentDerivVpk (double vgk, double vpk) const = 0;
};
