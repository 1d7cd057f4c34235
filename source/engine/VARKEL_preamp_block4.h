#pragma once

#include "engine/ControlLaws.h"
#include "engine/DempwolfTriode2.h"
#include "engine/SSParamsVec.h"

#include <iterator>
#include <memory>
#include <vector>

// Last stage: the cathode follower driving the passive treble/bass/middle tone stack. The output
// is the treble pot's wiper, loaded by 1 MOhm.
class VARKEL_preamp_block4 : public SSParamsVecAutomation
{
public:
    VARKEL_preamp_block4 (double rate, int32_t positions, int32_t automationValues);

    void setSampleRate (double rate) override;
    void updateMatrices() override;
    void computePortCurrents (const double* v, double* i) const override;
    void computePortJacobian (const double* v, StateSpaceMatrix& J) const override;
    void computeNonlinearInputs (const double* u, const double* x, double* p) const final;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const final;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const final;
    std::unique_ptr<SSParamsVecAutomation> clone() const override;

    double Rk = 100000.0;
    double R1 = 47000.0;
    double RL = 1000000.0;
    double Ct = 4.7e-10;
    double Cb = 2.2e-8;
    double Cm = 2.2e-8;
    double sampleRate;
    double trebleUpper = 220000.0;
    double trebleLower = 1.0;
    double bass = 1000000.0;
    double middleUpper = 1.0;
    double middleLower = 50000.0;

    std::vector<double> inputDefaults;
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
class VARKEL_preamp_block4_Automation : public VARKEL_preamp_block4
{
public:
    VARKEL_preamp_block4_Automation (double rate, double inputDefault0)
        : VARKEL_preamp_block4 (rate, 15, 7), ownedTriode (std::make_unique<TriodeModel>())
    {
        triode = ownedTriode.get();
        inputDefaults[0] = inputDefault0;
        inputDefaults[1] = 345.0;
        positionsPerControl = 15;
        positionStep = 1.0 / (positionsPerControl - 1);
        numPositions = positionsPerControl * positionsPerControl * positionsPerControl;
    }

    // position = 225 treble + 15 bass + middle; anything past the last triple is all zeros.
    void setControlPosition (uint32_t position) override
    {
        controlPosition = static_cast<int32_t> (position);
        const ToneSetting tone = toneLawSetting (position, positionsPerControl, positionStep);
        trebleUpper = tone.treble.upper;
        trebleLower = tone.treble.lower;
        bass = tone.bass;
        middleUpper = tone.middle.upper;
        middleLower = tone.middle.lower;
        updateMatrices();
    }

    double* automationSlot (int32_t index) override
    {
        double* const slots[] = {&inputDefaults[1], &trebleUpper, &trebleLower,     &bass,
                                 &middleUpper,      &middleLower, &inputDefaults[0]};
        return index >= 0 && index < static_cast<int32_t> (std::size (slots)) ? slots[index] : nullptr;
    }

    std::unique_ptr<TriodeModel> ownedTriode;
    int positionsPerControl;
    double positionStep;
};

extern template class VARKEL_preamp_block4_Automation<DempwolfTriode2<0>, 0>;
