#include "CholeskySolve.h"

#include <cmath>

bool choleskySolve (std::vector<double>& M, std::vector<double>& b, size_t n)
{
    for (size_t j = 0; j < n; ++j)
    {
        double d = M[j * n + j];
        for (size_t k = 0; k < j; ++k)
            d -= M[j * n + k] * M[j * n + k];
        if (!(d > 0.0))
            return false;
        d = std::sqrt (d);
        M[j * n + j] = d;
        for (size_t r = j + 1; r < n; ++r)
        {
            double s = M[r * n + j];
            for (size_t k = 0; k < j; ++k)
                s -= M[r * n + k] * M[j * n + k];
            M[r * n + j] = s / d;
        }
    }
    for (size_t r = 0; r < n; ++r)
    {
        double s = b[r];
        for (size_t k = 0; k < r; ++k)
            s -= M[r * n + k] * b[k];
        b[r] = s / M[r * n + r];
    }
    for (size_t r = n; r-- > 0;)
    {
        double s = b[r];
        for (size_t k = r + 1; k < n; ++k)
            s -= M[k * n + r] * b[k];
        b[r] = s / M[r * n + r];
    }
    return true;
}
