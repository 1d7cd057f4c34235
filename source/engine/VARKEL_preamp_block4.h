#pragma once

#include "engine/ControlLaws.h"
#include "engine/DempwolfTriode2.h"
#include "engine/SSParamsVec.h"

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

    double getAutomationValue (int32_t index) const override
    {
        switch (index)
        {
        case 0:
            return inputDefaults[1];
        case 1:
            return trebleUpper;
        case 2:
            return trebleLower;
        case 3:
            return bass;
        case 4:
            return middleUpper;
        case 5:
            return middleLower;
        case 6:
            return inputDefaults[0];
        default:
            return 0.0;
        }
    }

    void setAutomationValue (int32_t index, const double& value) override
    {
        switch (index)
        {
        case 0:
            inputDefaults[1] = value;
            break;
        case 1:
            trebleUpper = value;
            break;
        case 2:
            trebleLower = value;
            break;
        case 3:
            bass = value;
            break;
        case 4:
            middleUpper = value;
            break;
        case 5:
            middleLower = value;
            break;
        case 6:
            inputDefaults[0] = value;
            break;
        default:
            break;
        }
    }

    std::unique_ptr<TriodeModel> ownedTriode;
    int positionsPerControl;
    double positionStep;
};

extern template class VARKEL_preamp_block4_Automation<DempwolfTriode2<0>, 0>;
