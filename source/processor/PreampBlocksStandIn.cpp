// Stand-in for the circuit blocks until the real ones land: blocks without circuit whose first
// automation value is the supply voltage the processor reads for its output scaling.

#include "engine/PreampBlocks.h"

namespace
{
class SupplyOnlyBlock : public SSParamsVecAutomation
{
public:
    explicit SupplyOnlyBlock (double supplyVoltage)
        : SSParamsVecAutomation (1, 1, 1, 1), supply (supplyVoltage)
    {
        numAutomationValues = 1;
    }

    void setSampleRate (double) override {}
    double getAutomationValue (int32_t index) const override { return index == 0 ? supply : 0.0; }
    void setAutomationValue (int32_t index, const double& value) override
    {
        if (index == 0)
            supply = value;
    }

private:
    double supply;
};
} // namespace

PreampBlockSet makePreampBlocks (double)
{
    PreampBlockSet blocks;
    blocks[0] = std::make_unique<SupplyOnlyBlock> (334.0);
    blocks[1] = std::make_unique<SupplyOnlyBlock> (334.0);
    blocks[2] = std::make_unique<SupplyOnlyBlock> (345.0);
    blocks[3] = std::make_unique<SupplyOnlyBlock> (345.0);
    return blocks;
}
