#pragma once

#include "engine/DempwolfTriode2.h"
#include "engine/SSParamsVec.h"

#include <iterator>
#include <memory>
#include <vector>

// Third stage: a grid divider with a speed-up capacitor, a bypassed cathode and a plate resistor,
// loaded directly by the cathode follower's triode. The output is the stage triode's plate,
// which is the cathode follower's grid.
class VARKEL_preamp_block3_simple : public SSParamsVecAutomation
{
public:
    VARKEL_preamp_block3_simple (double rate, int32_t positions, int32_t automationValues);

    void setSampleRate (double rate) override;
    void updateMatrices() override;
    void computePortCurrents (const double* v, double* i) const override;
    void computePortJacobian (const double* v, StateSpaceMatrix& J) const override;
    void computeNonlinearInputs (const double* u, const double* x, double* p) const override;
    void updateState (const double* u, const double* i, const double* x, double* xNext) const override;
    void computeOutput (const double* u, const double* x, const double* i, double* y) const override;
    std::unique_ptr<SSParamsVecAutomation> clone() const override;

    double R1 = 470000.0;
    double R2 = 470000.0;
    double Rk = 820.0;
    double R4 = 100000.0;
    double Rp = 100000.0;
    double C1 = 4.7e-10;
    double Ck = 6.8e-7;
    double R5 = 2000000.0;
    double sampleRate;

    std::vector<double> inputDefaults;
};

template <class TriodeModel, int Variant>
class VARKEL_preamp_block3_simple_Automation : public VARKEL_preamp_block3_simple
{
public:
    VARKEL_preamp_block3_simple_Automation (double rate, double inputDefault0)
        : VARKEL_preamp_block3_simple (rate, 1, 2), ownedTriode (std::make_unique<TriodeModel>())
    {
        triode = ownedTriode.get();
        inputDefaults[0] = inputDefault0;
        inputDefaults[1] = 345.0;
    }

    // No control: the position is kept and the same matrices are recomputed.
    void setControlPosition (uint32_t position) override
    {
        controlPosition = static_cast<int32_t> (position);
        updateMatrices();
    }

    double* automationSlot (int32_t index) override
    {
        double* const slots[] = {&inputDefaults[1], &inputDefaults[0]};
        return index >= 0 && index < static_cast<int32_t> (std::size (slots)) ? slots[index] : nullptr;
    }

    std::unique_ptr<TriodeModel> ownedTriode;
};

extern template class VARKEL_preamp_block3_simple_Automation<DempwolfTriode2<0>, 0>;
