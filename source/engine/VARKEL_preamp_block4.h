#pragma once

#include "engine/DempwolfTriode2.h"
#include "engine/PreampBlock.h"

#include <cstdint>

// Last stage: the cathode follower driving the passive treble/bass/middle tone stack. The output
// is the treble pot's wiper, loaded by 1 MOhm.
class VARKEL_preamp_block4 : public PreampBlock<VARKEL_preamp_block4, 1>
{
public:
    VARKEL_preamp_block4 (double rate, int32_t positions, int32_t automationValues);

    void updateMatrices() override;
    void computeNonlinearInputs (const double* u, const double* x, double* p) const final;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const final;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const final;

    double Rk = 100000.0;
    double R1 = 47000.0;
    double RL = 1000000.0;
    double Ct = 4.7e-10;
    double Cb = 2.2e-8;
    double Cm = 2.2e-8;
    double trebleUpper = 220000.0;
    double trebleLower = 1.0;
    double bass = 1000000.0;
    double middleUpper = 1.0;
    double middleLower = 50000.0;
};

// B and H are zero for every component value (the inputs reach the network only through the
// triode), and E is diag(-1, 1); the sums keep the dense product's column order and start from
// +0.0 as it does, so a row whose terms are all -0 comes out +0 there too.

inline void VARKEL_preamp_block4::computeNonlinearInputs (const double* u, const double* x,
                                                          double* __restrict p) const
{
    p[0] = 0.0 + D (0, 0) * x[0] + D (0, 1) * x[1] + D (0, 2) * x[2] + E (0, 0) * u[0];
    p[1] = 0.0 + D (1, 0) * x[0] + D (1, 1) * x[1] + D (1, 2) * x[2] + E (1, 1) * u[1];
}

inline void VARKEL_preamp_block4::updateState (const double*, const double* i, const double* x,
                                               double* __restrict xNext) const
{
    for (uint32_t r = 0; r < 3; ++r)
        xNext[r] = A (r, 0) * x[0] + A (r, 1) * x[1] + A (r, 2) * x[2] + C (r, 0) * i[0] + C (r, 1) * i[1];
}

inline void VARKEL_preamp_block4::computeOutput (const double*, const double* x, const double* i,
                                                 double* __restrict y) const
{
    y[0] = G (0, 0) * x[0] + G (0, 1) * x[1] + G (0, 2) * x[2] + K (0, 0) * i[0] + K (0, 1) * i[1];
}

template <class TriodeModel, int Variant>
class VARKEL_preamp_block4_Automation : public TriodeOwningBlock<VARKEL_preamp_block4, TriodeModel>
{
public:
    VARKEL_preamp_block4_Automation (double rate, double inputDefault0)
        : TriodeOwningBlock<VARKEL_preamp_block4, TriodeModel> (rate, 15, 7, {inputDefault0, 345.0}),
          positionsPerControl (15), positionStep (1.0 / (positionsPerControl - 1))
    {
        this->numPositions = positionsPerControl * positionsPerControl * positionsPerControl;
    }

    // position = 225 treble + 15 bass + middle; anything past the last triple is all zeros.
    void setControlPosition (uint32_t position) override
    {
        this->controlPosition = static_cast<int32_t> (position);
        const ToneSetting tone = toneLawSetting (position, positionsPerControl, positionStep);
        this->trebleUpper = tone.treble.upper;
        this->trebleLower = tone.treble.lower;
        this->bass = tone.bass;
        this->middleUpper = tone.middle.upper;
        this->middleLower = tone.middle.lower;
        this->updateMatrices();
    }

    double* automationSlot (int32_t index) override
    {
        double* const slots[] = {
            &this->inputDefaults[1], &this->trebleUpper, &this->trebleLower,     &this->bass,
            &this->middleUpper,      &this->middleLower, &this->inputDefaults[0]};
        return automationSlotAt (slots, index);
    }

    int positionsPerControl;
    double positionStep;
};

extern template class VARKEL_preamp_block4_Automation<DempwolfTriode2<0>, 0>;
