#include "NetworkChain.h"

#include "models/BlockFacts.h"
#include "models/NetworkConstruction.h"
#include "reference/RestState.h"

#include <algorithm>

NetworkChain::NetworkChain (double processingRate, int gainPosition, int tonePosition,
                            const std::array<const std::vector<uint8_t>*, numBlocks>& images, int triodeParameterSet)
    : rate (processingRate), blocks (makePreampBlocks (processingRate)), pPrevious (PortSolver::maxPorts, 0.0)
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
            std::vector<double> u (b.numInputs, 0.0);
            u[0] = restInput;
            for (int32_t j = 0; j < b.numSourceInputs; ++j)
                u[static_cast<size_t> (b.firstSourceInput + j)] = b.getAutomationValue (j);
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
            restInput = rest.y;
            continue;
        }
        const auto status = loadModelImageIntoState (m, &b, image->data(), image->size(), blockUsesPrincipalComponents (k));
        if (!status.ok)
        {
            loadError = "block " + std::to_string (k + 1) + ": " + status.message;
            return;
        }
        const uint32_t position = selectPosition (m, positions[k]);
        b.setControlPosition (position);

        r.u.assign (b.numInputs, 0.0);
        for (int32_t j = 0; j < b.numSourceInputs; ++j)
            r.u[static_cast<size_t> (b.firstSourceInput + j)] = b.getAutomationValue (j);
        r.x.assign (b.numStates, 0.0);
        r.xNext.assign (b.numStates, 0.0);
        r.p.assign (b.numNonlinearInputs, 0.0);
        r.i.assign (b.numNonlinearOutputs, 0.0);
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
    }
}

double NetworkChain::processBlock (int k, double inputVolts)
{
    const auto& b = *blocks[static_cast<size_t> (k)];
    auto& r = running[static_cast<size_t> (k)];
    r.u[0] = inputVolts;
    if (exactSolvers[static_cast<size_t> (k)] != nullptr)
    {
        std::copy (r.p.begin(), r.p.end(), pPrevious.begin());
        b.computeNonlinearInputs (r.u.data(), r.x.data(), r.p.data());
        exactSolvers[static_cast<size_t> (k)]->solveFrom (pPrevious.data(), r.p.data(), b.F, r.i.data());
    }
    else
    {
        b.computeNonlinearInputs (r.u.data(), r.x.data(), r.p.data());
        regionStep (models[static_cast<size_t> (k)], k, r.p.data(), r.i.data());
    }
    b.updateState (r.u.data(), r.i.data(), r.x.data(), r.xNext.data());
    std::copy (r.xNext.begin(), r.xNext.end(), r.x.begin());
    double y = 0.0;
    b.computeOutput (r.u.data(), r.x.data(), r.i.data(), &y);
    return y;
}

double NetworkChain::process (double inputVolts)
{
    double signal = inputVolts;
    for (int k = 0; k < numBlocks; ++k)
        signal = processBlock (k, signal);
    return signal;
}
