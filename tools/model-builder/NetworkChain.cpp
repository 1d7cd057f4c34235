#include "NetworkChain.h"

#include "models/BlockFacts.h"
#include "models/ModelLoading.h"
#include "models/PositionSelection.h"
#include "models/RateTables.h"
#include "reference/RestState.h"

#include <algorithm>

NetworkChain::NetworkChain (double processingRate, int gainPosition, int tonePosition,
                            const std::array<const std::vector<uint8_t>*, numBlocks>& images, int triodeParameterSet)
    : rate (processingRate), blocks (makePreampBlocks (processingRate))
{
    exactTriode.selectParameterSet (triodeParameterSet);
    double restInput = 0.0;
    const uint32_t positions[numBlocks] = {static_cast<uint32_t> (gainPosition), static_cast<uint32_t> (gainPosition),
                                           0u, static_cast<uint32_t> (tonePosition)};
    for (size_t k = 0; k < numBlocks; ++k)
    {
        auto& b = *blocks[k];
        auto& m = models[k];
        auto& r = running[k];
        const auto* image = images[k];
        if (image == nullptr || image->empty())
        {
            b.triode = &exactTriode;
            b.setControlPosition (positions[k]);
            exactSolvers[k] = std::make_unique<PortSolver> (b, exactTriode);
            exactCurrents[k] = std::make_unique<ExactPortCurrents> (*exactSolvers[k], b.F);
            std::vector<double> u (b.numInputs, 0.0);
            u[0] = restInput;
            b.fillSupplyInputs (u.data(), u.size());
            const auto rest = solveRestState (b, *exactSolvers[k], u);
            r.u = rest.u;
            r.u[0] = 0.0;
            r.x = rest.x;
            r.xNext = rest.x;
            r.p = rest.p;
            r.i = rest.i;
            r.operatingP = r.p;
            r.operatingI = r.i;
            r.operatingX = r.x;
            exactCurrents[k]->restartFrom (r.p);
            restInput = rest.y;
            continue;
        }
        const auto status = loadModelImageIntoState (m, b.modelShape(), image->data(), image->size(), blockUsesPrincipalComponents (k));
        if (!status.ok)
        {
            loadError = "block " + std::to_string (k + 1) + ": " + status.message;
            return;
        }
        const uint32_t position = selectPosition (m, positions[k]);
        b.setControlPosition (position);

        r.resizeFor (b);
        r.operatingP = r.p;
        r.operatingI = r.i;
        r.operatingX = r.x;
        applyRateTable (m, position, static_cast<int32_t> (processingRate), true,
                        {r.operatingP.data(), r.operatingI.data(), r.operatingX.data(), r.p.data(), r.i.data(),
                         r.x.data()});
        r.u[0] = restInput;
        b.computeOutput (r.u.data(), r.x.data(), r.i.data(), &restInput);
        r.u[0] = 0.0;
    }
}

void NetworkChain::reset()
{
    for (size_t k = 0; k < numBlocks; ++k)
    {
        auto& r = running[k];
        r.p = r.operatingP;
        r.i = r.operatingI;
        r.x = r.operatingX;
        if (exactCurrents[k] != nullptr)
            exactCurrents[k]->restartFrom (r.p);
    }
}

double NetworkChain::processBlock (int k, double inputVolts)
{
    const auto index = static_cast<size_t> (k);
    auto& r = running[index];
    if (exactCurrents[index] != nullptr)
        return stepBlock (*blocks[index], r, inputVolts, *exactCurrents[index]);
    auto& model = models[index];
    return stepBlock (*blocks[index], r, inputVolts, [&model, k] (const double* p, double* i) { regionStep (model, k, p, i); });
}

double NetworkChain::process (double inputVolts)
{
    double signal = inputVolts;
    for (int k = 0; k < numBlocks; ++k)
        signal = processBlock (k, signal);
    return signal;
}
