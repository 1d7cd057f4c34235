#pragma once

#include <cstddef>
#include <vector>

// Solves the symmetric positive definite system M a = b (n x n, row-major) by Cholesky, in place:
// b receives a and M its factor. False when M is not positive definite. The systems here are the
// small normal equations of network training and least-squares fits.
bool choleskySolve (std::vector<double>& M, std::vector<double>& b, size_t n);
