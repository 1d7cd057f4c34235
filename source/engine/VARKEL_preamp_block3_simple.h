#pragma once

#include "engine/DempwolfTriode2.h"
#include "engine/PreampBlock.h"

#include <cstdint>

// Third stage: a grid divider with a speed-up capacitor, a bypassed cathode and a plate resistor,
// loaded directly by the cathode follower's triode. The output is the stage triode's plate,
// which is the cathode follower's grid.
class VARKEL_preamp_block3_simple : public PreampBlock<VARKEL_preamp_block3_simple>
{
public:
    VARKEL_preamp_block3_simple (double rate, int32_t positions, int32_t automationValues);

    void updateMatrices() override;
    void computeNonlinearInputs (const double* u, const double* x, double* p) const final;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const final;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const final;

    double R1 = 470000.0;
    double R2 = 470000.0;
    double Rk = 820.0;
    double R4 = 100000.0;
    double Rp = 100000.0;
    double C1 = 4.7e-10;
    double Ck = 6.8e-7;
    double R5 = 2000000.0;
};

// The per-sample products below skip the entries that are zero for every component value and
// rate, and keep the column order of the dense product so the sums round identically.
// Each row of p starts from +0.0 as the dense product does, so a row whose terms are all -0
// comes out +0 there too.

inline void VARKEL_preamp_block3_simple::computeNonlinearInputs (const double* u, const double* x,
                                                                 double* __restrict p) const
{
    p[0] = 0.0 + D (0, 0) * x[0] + D (0, 1) * x[1] + E (0, 0) * u[0];
    p[1] = 0.0 + D (1, 1) * x[1] + E (1, 1) * u[1];
    p[2] = 0.0 + E (2, 1) * u[1];
    p[3] = 0.0 + E (3, 1) * u[1];
}

inline void VARKEL_preamp_block3_simple::updateState (const double* u, const double* i, const double* x,
                                                      double* __restrict xNext) const
{
    xNext[0] = A (0, 0) * x[0] + B (0, 0) * u[0] + C (0, 0) * i[0];
    xNext[1] = A (1, 1) * x[1] + C (1, 0) * i[0] + C (1, 1) * i[1];
}

inline void VARKEL_preamp_block3_simple::computeOutput (const double* u, const double*, const double* i,
                                                        double* __restrict y) const
{
    y[0] = H (0, 1) * u[1] + K (0, 1) * i[1] + K (0, 2) * i[2];
}

template <class TriodeModel, int Variant>
class VARKEL_preamp_block3_simple_Automation
    : public TriodeOwningBlock<VARKEL_preamp_block3_simple, TriodeModel>
{
public:
    VARKEL_preamp_block3_simple_Automation (double rate, double inputDefault0)
        : TriodeOwningBlock<VARKEL_preamp_block3_simple, TriodeModel> (rate, 1, 2, {inputDefault0, 345.0})
    {
    }

    // No control: the position is kept and the same matrices are recomputed.
    void setControlPosition (uint32_t position) override
    {
        this->controlPosition = static_cast<int32_t> (position);
        this->updateMatrices();
    }

    double* automationSlot (int32_t index) override
    {
        double* const slots[] = {&this->inputDefaults[1], &this->inputDefaults[0]};
        return automationSlotAt (slots, index);
    }
};

extern template class VARKEL_preamp_block3_simple_Automation<DempwolfTriode2<0>, 0>;
