#pragma once

#include "models/BlockShape.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class Triode;

// A dense matrix of doubles stored column by column: element (r, c) lives at c * rows + r.
// Storage is sized once, when a block is constructed; recomputation only overwrites values.
struct StateSpaceMatrix
{
    uint32_t rows = 0;
    uint32_t cols = 0;
    std::vector<double> values;

    void resize (uint32_t newRows, uint32_t newCols);
    void fill (double value);

    double& operator() (uint32_t r, uint32_t c) { return values[static_cast<size_t> (c) * rows + r]; }
    double operator() (uint32_t r, uint32_t c) const { return values[static_cast<size_t> (c) * rows + r]; }
    const double* data() const { return values.data(); }
};

// Discretised state-space model of one circuit block:
//   x[n] = A x[n-1] + B u[n] + C i[n]      (history currents of the capacitors)
//   p[n] = D x[n-1] + E u[n]               (nonlinear inputs)
//   v[n] = p[n] + F i[n],  i[n] = f(v[n])  (triode ports)
//   y[n] = G x + H u[n] + K i[n]
class SSParamsVec
{
public:
    SSParamsVec (uint32_t nx, uint32_t nu, uint32_t nv, uint32_t ni);
    virtual ~SSParamsVec();

    SSParamsVec (const SSParamsVec&) = delete;
    SSParamsVec& operator= (const SSParamsVec&) = delete;

    virtual void setSampleRate (double rate) = 0;
    virtual void updateMatrices() {}

    // i = f(v): port currents from port voltages (nv in, ni out).
    virtual void computePortCurrents (const double* /*v*/, double* /*i*/) const {}
    // J = df/dv, an ni x nv matrix; only the entries of each triode's own ports are written.
    virtual void computePortJacobian (const double* /*v*/, StateSpaceMatrix& /*J*/) const {}

    virtual void reservedOperation1() {}
    virtual void reservedOperation2() {}

    // p = D x + E u
    virtual void computeNonlinearInputs (const double* /*u*/, const double* /*x*/, double* /*p*/) const {}
    // xNext = A x + B u + C i; xNext must not alias x.
    virtual void updateState (const double* /*u*/, const double* /*i*/, const double* /*x*/,
                              double* /*xNext*/) const
    {
    }
    // y = G x + H u + K i (one output)
    virtual void computeOutput (const double* /*u*/, const double* /*x*/, const double* /*i*/,
                                double* /*y*/) const
    {
    }

    // The counts a model file for this block must fit.
    BlockShape modelShape() const noexcept { return {numStates, numNonlinearInputs, numNonlinearOutputs}; }

    uint32_t numStates;           // nx
    uint32_t numInputs;           // nu: index 0 is the signal, the rest are DC supplies
    uint32_t numNonlinearInputs;  // nv
    uint32_t numNonlinearOutputs; // ni
    uint32_t numOutputs;          // ny, always 1

    StateSpaceMatrix A, B, C, D, E, F, G, H, K;
};

// Adds control positions, numbered automation values (supplies first, then pot parts)
// and the triode model used for the port equations.
class SSParamsVecAutomation : public SSParamsVec
{
public:
    using SSParamsVec::SSParamsVec;

    SSParamsVecAutomation (uint32_t nx, uint32_t nu, uint32_t nv, uint32_t ni, int32_t positions,
                           int32_t automationValues, int32_t sourceInputs)
        : SSParamsVec (nx, nu, nv, ni), numPositions (positions), numAutomationValues (automationValues),
          numSourceInputs (sourceInputs)
    {
    }

    virtual void setControlPosition (uint32_t /*position*/) {}
    // Automation value `index` is the block variable automationSlot (index) names; an index no
    // variable answers to reads 0 and ignores writes.
    virtual double getAutomationValue (int32_t index) const
    {
        const double* slot = const_cast<SSParamsVecAutomation*> (this)->automationSlot (index);
        return slot != nullptr ? *slot : 0.0;
    }
    virtual void setAutomationValue (int32_t index, const double& value)
    {
        if (double* slot = automationSlot (index))
            *slot = value;
    }
    // A plain copy of the matrices and sources without control law; shares the triode,
    // so it must not outlive its source.
    virtual std::unique_ptr<SSParamsVecAutomation> clone() const { return nullptr; }

    // Writes the block's DC supplies into their places in an input vector of `size` entries
    // (u[firstSourceInput] onwards); places the vector does not have are skipped, and the signal
    // input u[0] is never written.
    void fillSupplyInputs (double* u, size_t size) const;

    int32_t numPositions = 1;
    int32_t numAutomationValues = 0;
    int32_t controlPosition = 0;
    int32_t firstSourceInput = 1;
    int32_t numSourceInputs = 0;
    Triode* triode = nullptr; // not owned

protected:
    // The variable behind automation value `index`, or nullptr for an index the block has not.
    virtual double* automationSlot (int32_t /*index*/) { return nullptr; }
};
