#include "engine/SSParamsVec.h"

void StateSpaceMatrix::resize (uint32_t newRows, uint32_t newCols)
{
    rows = newRows;
    cols = newCols;
    values.assign (static_cast<size_t> (rows) * cols, 0.0);
}

void StateSpaceMatrix::fill (double value)
{
    for (auto& v : values)
        v = value;
}

SSParamsVec::SSParamsVec (uint32_t nx, uint32_t nu, uint32_t nv, uint32_t ni)
    : numStates (nx), numInputs (nu), numNonlinearInputs (nv), numNonlinearOutputs (ni), numOutputs (1)
{
    A.resize (nx, nx);
    B.resize (nx, nu);
    C.resize (nx, ni);
    D.resize (nv, nx);
    E.resize (nv, nu);
    F.resize (nv, ni);
    G.resize (numOutputs, nx);
    H.resize (numOutputs, nu);
    K.resize (numOutputs, ni);
}

SSParamsVec::~SSParamsVec() = default;

void SSParamsVecAutomation::fillSupplyInputs (double* u, size_t size) const
{
    for (int32_t j = 0; j < numSourceInputs; ++j)
    {
        const int64_t index = static_cast<int64_t> (firstSourceInput) + j;
        if (index > 0 && index < static_cast<int64_t> (size))
            u[static_cast<size_t> (index)] = getAutomationValue (j);
    }
}
