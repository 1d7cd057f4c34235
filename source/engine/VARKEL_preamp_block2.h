#pragma once

#include "engine/DempwolfTriode2.h"
#include "engine/PreampBlock.h"

#include <cstdint>

// Second stage: from block 1's output through the mixing resistor and the gain pot to the stage
// triode, its coupling capacitor, and as its load the grid divider and the third triode. The
// output is the far side of the coupling capacitor.
class VARKEL_preamp_block2 : public PreampBlock<VARKEL_preamp_block2>
{
public:
    VARKEL_preamp_block2 (double rate, int32_t positions, int32_t automationValues);

    void updateMatrices() override;
    void computeNonlinearInputs (const double* u, const double* x, double* p) const final;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const final;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const final;

    double Rm = 470000.0;
    double Rk1 = 4700.0;
    double Rp1 = 100000.0;
    double Rx = 4000000.0;
    double R1 = 470000.0;
    double R2 = 470000.0;
    double Rk2 = 820.0;
    double Rp2 = 100000.0;
    double Cm = 4.7e-10;
    double Cb = 1e-9;
    double Cc = 2.2e-8;
    double Cx = 4.7e-10; // isolated: its state never changes whatever the value
    double Ck2 = 6.8e-7;
    double gainUpper = 200000.0;
    double gainLower = 800000.0;
};

// The per-sample products below skip the entries that are zero for every component value and
// rate, and keep the column order of the dense product so the sums round identically.
// Each row of p starts from +0.0 as the dense product does, so a row whose terms are all -0
// comes out +0 there too.

inline void VARKEL_preamp_block2::computeNonlinearInputs (const double* u, const double* x,
                                                          double* __restrict p) const
{
    p[0] = 0.0 + D (0, 0) * x[0] + D (0, 1) * x[1] + E (0, 0) * u[0];
    p[1] = 0.0 + D (1, 2) * x[2] + E (1, 1) * u[1];
    p[2] = 0.0 + D (2, 2) * x[2] + D (2, 4) * x[4] + E (2, 1) * u[1];
    p[3] = 0.0 + D (3, 4) * x[4] + E (3, 2) * u[2];
}

inline void VARKEL_preamp_block2::updateState (const double* u, const double* i, const double* x,
                                               double* __restrict xNext) const
{
    xNext[0] = A (0, 0) * x[0] + A (0, 1) * x[1] + B (0, 0) * u[0] + C (0, 0) * i[0];
    xNext[1] = A (1, 0) * x[0] + A (1, 1) * x[1] + B (1, 0) * u[0] + C (1, 0) * i[0];
    xNext[2] = A (2, 2) * x[2] + B (2, 1) * u[1] + C (2, 1) * i[1] + C (2, 2) * i[2];
    xNext[3] = A (3, 3) * x[3];
    xNext[4] = A (4, 4) * x[4] + C (4, 2) * i[2] + C (4, 3) * i[3];
}

inline void VARKEL_preamp_block2::computeOutput (const double* u, const double* x, const double* i,
                                                 double* __restrict y) const
{
    y[0] = G (0, 2) * x[2] + H (0, 1) * u[1] + K (0, 1) * i[1] + K (0, 2) * i[2];
}

template <class TriodeModel, int Variant>
class VARKEL_preamp_block2_Automation : public TriodeOwningBlock<VARKEL_preamp_block2, TriodeModel>
{
public:
    VARKEL_preamp_block2_Automation (double rate, double inputDefault0)
        : TriodeOwningBlock<VARKEL_preamp_block2, TriodeModel> (rate, 17, 5, {inputDefault0, 334.0, 345.0}),
          positionStep (1.0 / (this->numPositions - 1))
    {
    }

    void setControlPosition (uint32_t position) override { moveGainPot (*this, position, positionStep); }

    double* automationSlot (int32_t index) override
    {
        double* const slots[] = {&this->inputDefaults[1], &this->inputDefaults[2], &this->gainUpper,
                                 &this->gainLower, &this->inputDefaults[0]};
        return automationSlotAt (slots, index);
    }

    double positionStep;
};

extern template class VARKEL_preamp_block2_Automation<DempwolfTriode2<0>, 0>;
