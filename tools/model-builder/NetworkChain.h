#pragma once

#include "engine/BlockStep.h"
#include "engine/PreampBlocks.h"
#include "models/RegionNetwork.h"
#include "reference/ExactPortCurrents.h"
#include "reference/PortSolver.h"
#include "reference/ReferenceTriode.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The plug-in's per-sample path over the four blocks with their region networks, at one
// processing rate and without oversampling filters: the engine's stepBlock with regionStep for
// the currents. It starts from the operating point in each file's rate table,
// as the plug-in does after a rate change, so comparing it with the reference chain measures
// what the model data cost.
class NetworkChain
{
public:
    static constexpr int numBlocks = 4;

    // images[k] is block k's model file as bytes (block 3's for this processing rate). A block
    // without an image is solved exactly with the given triode parameter set instead, so one
    // block's data can be judged inside the chain before the others exist.
    NetworkChain (double processingRate, int gainPosition, int tonePosition,
                  const std::array<const std::vector<uint8_t>*, numBlocks>& images, int triodeParameterSet = 0);

    bool ok() const { return loadError.empty(); }
    const std::string& error() const { return loadError; }

    // Back to the operating point of the rate table.
    void reset();
    double process (double inputVolts);
    // Runs only block k on the given input (for block-by-block comparison).
    double processBlock (int k, double inputVolts);

    const BlockModelState& model (int k) const { return models[static_cast<size_t> (k)]; }
    const std::vector<double>& nonlinearInputs (int k) const { return running[static_cast<size_t> (k)].p; }
    const std::vector<double>& portCurrents (int k) const { return running[static_cast<size_t> (k)].i; }

private:
    struct Running : BlockState
    {
        std::vector<double> operatingP, operatingI, operatingX;
    };

    double rate;
    ReferenceTriode exactTriode;
    PreampBlockSet blocks;
    std::array<std::unique_ptr<PortSolver>, numBlocks> exactSolvers; // blocks without data
    std::array<std::unique_ptr<ExactPortCurrents>, numBlocks> exactCurrents;
    std::array<BlockModelState, numBlocks> models;
    std::array<Running, numBlocks> running;
    std::string loadError;
};
