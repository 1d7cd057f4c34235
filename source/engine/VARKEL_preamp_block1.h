#pragma once

#include "engine/ControlLaws.h"
#include "engine/DempwolfTriode2.h"
#include "engine/SSParamsVec.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

// Input stage: the input triode with its grid and cathode networks, the coupling capacitor behind
// its plate, and as its load the mixing resistor, the gain pot with its bright capacitor and the
// second triode. The output is the far side of the coupling capacitor.
class VARKEL_preamp_block1 : public SSParamsVecAutomation
{
public:
    VARKEL_preamp_block1 (double rate, int32_t positions, int32_t automationValues);

    void setSampleRate (double rate) override;
    void updateMatrices() override;
    void computePortCurrents (const double* v, double* i) const override;
    void computePortJacobian (const double* v, StateSpaceMatrix& J) const override;
    void computeNonlinearInputs (const double* u, const double* x, double* p) const override;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const override;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const override;
    std::unique_ptr<SSParamsVecAutomation> clone() const override;

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
    double sampleRate;
    double gainUpper = 200000.0;
    double gainLower = 800000.0;

    std::vector<double> inputDefaults;
};

template <class TriodeModel, int Variant>
class VARKEL_preamp_block1_Automation : public VARKEL_preamp_block1
{
public:
    VARKEL_preamp_block1_Automation (double rate, double inputDefault0)
        : VARKEL_preamp_block1 (rate, 17, 4), ownedTriode (std::make_unique<TriodeModel>())
    {
        triode = ownedTriode.get();
        inputDefaults[0] = inputDefault0;
        inputDefaults[1] = 334.0;
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

    double* automationSlot (int32_t index) override
    {
        double* const slots[] = {&inputDefaults[1], &gainUpper, &gainLower, &inputDefaults[0]};
        return index >= 0 && index < static_cast<int32_t> (std::size (slots)) ? slots[index] : nullptr;
    }

    std::unique_ptr<TriodeModel> ownedTriode;
    double positionStep;
};

extern template class VARKEL_preamp_block1_Automation<DempwolfTriode2<0>, 0>;
