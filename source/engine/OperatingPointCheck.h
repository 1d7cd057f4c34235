#pragma once

#include "engine/SSParamsVec.h"

#include <string>

// Whether an operating point read from a model file (p, i and x of a rate-table record) is a rest
// point of this block as it stands: at its current sample rate and control position, with its own
// supplies and a constant signal input, x = A x + B u + C i and p = D x + E u must hold. The
// signal input at rest is whatever the stage before puts out, so it is the one unknown, fitted
// from the state equation. A record made for another block, rate or position breaks these
// equations by far more than rounding.
//
// Answers an empty string when the point fits, else what does not fit, for a person.
std::string describeOperatingPointMismatch (const SSParamsVecAutomation& block, const double* p, const double* i,
                                            const double* x);
