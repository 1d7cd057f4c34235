#pragma once

#include "engine/SSParamsVec.h"
#include "engine/Triode.h"

// One triode on ports (firstPort, firstPort + 1): the block's port voltages give the triode's
// Vgk and Vpk through fixed signs, because each block orients its ports by its own netlist.
struct TriodePortPair
{
    int firstPort;
    double gridSign;  // Vgk = gridSign * v[firstPort]
    double plateSign; // Vpk = plateSign * v[firstPort + 1]
};

template <typename Pairs>
void computeTriodePortCurrents (const Triode* triode, const Pairs& pairs, const double* v, double* i)
{
    for (const auto& pair : pairs)
    {
        const int m = pair.firstPort;
        if (triode == nullptr)
        {
            i[m] = i[m + 1] = 0.0;
            continue;
        }
        const double vgk = pair.gridSign * v[m];
        const double vpk = pair.plateSign * v[m + 1];
        i[m] = triode->gridCurrent (vgk, vpk);
        i[m + 1] = triode->cathodeCurrent (vgk, vpk);
    }
}

// Writes each triode's 2 x 2 block of dI/dv; entries coupling two triodes are left untouched.
template <typename Pairs>
void computeTriodePortJacobian (const Triode* triode, const Pairs& pairs, const double* v,
                                StateSpaceMatrix& J)
{
    for (const auto& pair : pairs)
    {
        const auto m = static_cast<uint32_t> (pair.firstPort);
        if (triode == nullptr)
        {
            J (m, m) = J (m, m + 1) = J (m + 1, m) = J (m + 1, m + 1) = 0.0;
            continue;
        }
        const double vgk = pair.gridSign * v[m];
        const double vpk = pair.plateSign * v[m + 1];
        J (m, m) = pair.gridSign * triode->gridCurrentDerivVgk (vgk, vpk);
        J (m, m + 1) = pair.plateSign * triode->gridCurrentDerivVpk (vgk, vpk);
        J (m + 1, m) = pair.gridSign * triode->cathodeCurrentDerivVgk (vgk, vpk);
        J (m + 1, m + 1) = pair.plateSign * triode->cathodeCurrentDerivVpk (vgk, vpk);
    }
}
