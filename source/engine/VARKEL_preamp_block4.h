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
    void computeNonlinearInputs (const double* u, const double* x, double* p) const override;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const override;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const override;
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
