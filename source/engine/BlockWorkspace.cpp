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
    prepareNonlinearInputTerms();
}

void BlockWorkspace::copyMatrices (const SSParamsVec& block)
{
    copyMatrix (D, block.D);
    copyMatrix (E, block.E);
    prepareNonlinearInputTerms();
}

void BlockWorkspace::prepareNonlinearInputTerms()
{
    // Rows past the copies' sizes (never the case for a consistent block) get no terms: p = 0.
    const uint32_t dRows = static_cast<uint32_t> (D.nrows()), eRows = static_cast<uint32_t> (E.nrows());
    const uint32_t dCols = std::min (static_cast<uint32_t> (D.ncols()), static_cast<uint32_t> (x.size()));
    const uint32_t eCols = static_cast<uint32_t> (E.ncols());
    pCoefficients.clear();
    pSources.clear();
    pStateTermsEnd.assign (numNonlinearInputs, 0);
    pTermsEnd.assign (numNonlinearInputs, 0);
    for (uint32_t r = 0; r < numNonlinearInputs; ++r)
    {
        for (uint32_t c = 0; r < dRows && c < dCols; ++c)
            if (D (r, c) != 0.0)
            {
                pCoefficients.push_back (D (r, c));
                pSources.push_back (c);
            }
        pStateTermsEnd[r] = static_cast<uint32_t> (pSources.size());
        for (uint32_t c = 0; r < eRows && c < eCols; ++c)
            if (E (r, c) != 0.0)
            {
                pCoefficients.push_back (E (r, c));
                pSources.push_back (c);
            }
        pTermsEnd[r] = static_cast<uint32_t> (pSources.size());
    }
}
