#include "engine/BlockWorkspace.h"

void BlockWorkspace::resize (uint32_t nx, uint32_t nu, uint32_t nv, uint32_t ni, uint32_t ny)
{
    numStates = nx;
    numInputs = nu;
    numNonlinearInputs = nv;
    numNonlinearOutputs = ni;
    numOutputs = ny;

    u.assign (nu, 0.0);
    x.assign (nx, 0.0);
    p.assign (nv, 0.0);
    i.assign (ni, 0.0);
    xNext.assign (nx, 0.0);
    y = 0.0;
    operatingP.assign (nv, 0.0);
    operatingX.assign (nx, 0.0);
    operatingI.assign (ni, 0.0);
}
