#include "engine/BlockWorkspace.h"

#include <algorithm>

namespace
{
void resizeZeroed (gmm::dense_matrix<double>& m, uint32_t rows, uint32_t cols)
{
    m.resize (rows, cols);
    std::fill (m.begin(), m.end(), 0.0);
}

void copyMatrix (gmm::dense_matrix<double>& to, const StateSpaceMatrix& from)
{
    // Both are column-major, so the values copy straight across. Same-size copies (every
    // recomputation after the first) reuse the storage.
    if (to.nrows() != from.rows || to.ncols() != from.cols)
        to.resize (from.rows, from.cols);
    const size_t count = std::min (from.values.size(), to.size());
    std::copy_n (from.values.begin(), count, to.begin());
}

void resizeZeroed (std::vector<double>& v, uint32_t n)
{
    v.assign (n, 0.0);
}
} // namespace

void BlockWorkspace::resize (uint32_t nx, uint32_t nu, uint32_t nv, uint32_t ni, uint32_t ny)
{
    numStates = nx;
    numInputs = nu;
    numNonlinearInputs = nv;
    numNonlinearOutputs = ni;
    numOutputs = ny;

    resizeZeroed (D, nv, nx);
    resizeZeroed (E, nv, nu);

    resizeZeroed (x, nx);
    resizeZeroed (p, nv);
    resizeZeroed (i, ni);
    resizeZeroed (xNext, nx);
    resizeZeroed (operatingP, nv);
    resizeZeroed (operatingX, nx);
    resizeZeroed (operatingI, ni);
}

void BlockWorkspace::copyMatrices (const SSParamsVec& block)
{
    copyMatrix (D, block.D);
    copyMatrix (E, block.E);
}
