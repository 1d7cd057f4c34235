#pragma once

#include "engine/DempwolfTriode2.h"
#include "engine/PreampBlock.h"

#include <cstdint>

// Input stage: the input triode with its grid and cathode networks, the coupling capacitor behind
// its plate, and as its load the mixing resistor, the gain pot with its bright capacitor and the
// second triode. The output is the far side of the coupling capacitor.
class VARKEL_preamp_block1 : public PreampBlock<VARKEL_preamp_block1>
{
public:
    VARKEL_preamp_block1 (double rate, int32_t positions, int32_t automationValues);

    void updateMatrices() override;
    void computeNonlinearInputs (const double* u, const double* x, double* p) const final;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const final;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const final;

    double Rk1 = 2700.0;
    double Rp1 = 100000.0;
    double Rm = 470000.0;
    double Rg = 68000.0;
    double Rp2 = 100000.0;
    double Rk2 = 4700.0;
    double Rx = 4000000.0;
    double Ck1 = 4.7e-7;
    double Cc = 2.2e-8;
    double Cm = 4.7e-10;
    double Cb = 1e-9;
    double Cg = 3.3e-10;
    double gainUpper = 200000.0;
    double gainLower = 800000.0;
};

// The per-sample products below skip the entries that are zero for every component value and
// rate, and keep the column order of the dense product so the sums round identically.
// Each row of p starts from +0.0 as the dense product does, so a row whose terms are all -0
// comes out +0 there too.

inline void VARKEL_preamp_block1::computeNonlinearInputs (const double* u, const double* x,
                                                          double* __restrict p) const
{
    p[0] = 0.0 + D (0, 0) * x[0] + D (0, 4) * x[4] + E (0, 0) * u[0];
    p[1] = 0.0 + D (1, 0) * x[0] + D (1, 1) * x[1] + D (1, 2) * x[2] + D (1, 3) * x[3] + E (1, 1) * u[1];
    p[2] = 0.0 + D (2, 1) * x[1] + D (2, 2) * x[2] + D (2, 3) * x[3] + E (2, 1) * u[1];
    p[3] = 0.0 + E (3, 1) * u[1];
}

inline void VARKEL_preamp_block1::updateState (const double* u, const double* i, const double* x,
                                               double* __restrict xNext) const
{
    xNext[0] = A (0, 0) * x[0] + C (0, 0) * i[0] + C (0, 1) * i[1];
    for (uint32_t r = 1; r <= 3; ++r)
        xNext[r] = A (r, 1) * x[1] + A (r, 2) * x[2] + A (r, 3) * x[3] + B (r, 1) * u[1] + C (r, 1) * i[1] +
                   C (r, 2) * i[2];
    xNext[4] = A (4, 4) * x[4] + C (4, 0) * i[0];
}

inline void VARKEL_preamp_block1::computeOutput (const double* u, const double* x, const double* i,
                                                 double* __restrict y) const
{
    y[0] = G (0, 1) * x[1] + G (0, 2) * x[2] + G (0, 3) * x[3] + H (0, 1) * u[1] + K (0, 1) * i[1] +
           K (0, 2) * i[2];
}

template <class TriodeModel, int Variant>
class VARKEL_preamp_block1_Automation : public TriodeOwningBlock<VARKEL_preamp_block1, TriodeModel>
{
public:
    VARKEL_preamp_block1_Automation (double rate, double inputDefault0)
        : TriodeOwningBlock<VARKEL_preamp_block1, TriodeModel> (rate, 17, 4, {inputDefault0, 334.0}),
          positionStep (1.0 / (this->numPositions - 1))
    {
    }

    void setControlPosition (uint32_t position) override { moveGainPot (*this, position, positionStep); }

    double* automationSlot (int32_t index) override
    {
        double* const slots[] = {&this->inputDefaults[1], &this->gainUpper, &this->gainLower,
                                 &this->inputDefaults[0]};
        return automationSlotAt (slots, index);
    }

    double positionStep;
};

extern template class VARKEL_preamp_block1_Automation<DempwolfTriode2<0>, 0>;
