#pragma once

#include "engine/ControlLaws.h"
#include "engine/DempwolfTriode2.h"
#include "engine/SSParamsVec.h"

#include <algorithm>
#include <memory>
#include <vector>

// Second stage: from block 1's output through the mixing resistor and the gain pot to the stage
// triode, its coupling capacitor, and as its load the grid divider and the third triode. The
// output is the far side of the coupling capacitor.
class VARKEL_preamp_block2 : public SSParamsVecAutomation
{
public:
    VARKEL_preamp_block2 (double rate, int32_t positions, int32_t automationValues);

    void setSampleRate (double rate) override;
    void updateMatrices() override;
    void computePortCurrents (const double* v, double* i) const override;
    void computePortJacobian (const double* v, StateSpaceMatrix& J) const override;
    void computeNonlinearInputs (const double* u, const double* x, double* p) const override;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const override;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const override;
    std::unique_ptr<SSParamsVecAutomation> clone() const override;

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
    double sampleRate;
    double gainUpper = 200000.0;
    double gainLower = 800000.0;

    std::vector<double> inputDefaults;
};

template <class TriodeModel, int Variant>
class VARKEL_preamp_block2_Automation : public VARKEL_preamp_block2
{
public:
    VARKEL_preamp_block2_Automation (double rate, double inputDefault0)
        : VARKEL_preamp_block2 (rate, 17, 5), ownedTriode (std::make_unique<TriodeModel>())
    {
        triode = ownedTriode.get();
        inputDefaults[0] = inputDefault0;
        inputDefaults[1] = 334.0;
        inputDefaults[2] = 345.0;
        positionStep = 1.0 / (numPositions - 1);
    }

    // Positions past the top would make the upper part negative; they act as the top.
    void setControlPosition (uint32_t position) override
    {
        position = std::min (position, static_cast<uint32_t> (numPositions - 1));
        controlPosition = static_cast<int32_t> (position);
        const PotParts parts = gainLawParts (position, positionStep);
        gainUpper = parts.upper;
        gainLower = parts.lower;
        updateMatrices();
    }

    double getAutomationValue (int32_t index) const override
    {
        switch (index)
        {
        case 0:
            return inputDefaults[1];
        case 1:
            return inputDefaults[2];
        case 2:
            return gainUpper;
        case 3:
            return gainLower;
        case 4:
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
            inputDefaults[2] = value;
            break;
        case 2:
            gainUpper = value;
            break;
        case 3:
            gainLower = value;
            break;
        case 4:
            inputDefaults[0] = value;
            break;
        default:
            break;
        }
    }

    std::unique_ptr<TriodeModel> ownedTriode;
    double positionStep;
};

extern template class VARKEL_preamp_block2_Automation<DempwolfTriode2<0>, 0>;
