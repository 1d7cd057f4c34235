#include "LinearisedModelSet.h"

#include "ChainModelFiles.h"
#include "ModelFileWriting.h"
#include "engine/PreampBlocks.h"
#include "models/ModelFile.h"
#include "reference/PortSolver.h"
#include "reference/ReferenceTriode.h"
#include "reference/RestState.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <tuple>

namespace chainfiles
{
namespace
{
constexpr int numBlocks = 4;
// Pca nets must have exactly one hidden layer: each hidden neuron passes one input through. The
// Elliot function s x / (1 + |s x|) departs from s x by a fraction |s x| <= s of the excursion.
constexpr float passThroughSteepness = 1e-4f;
constexpr double differenceStep = 1e-3; // volts, for the central differences of the tangent
constexpr double outputHeadroom = 1.05; // the tangent's excursion over the box stays inside the clip
constexpr double smallestOutputScale = 1e-6; // amperes, for currents the box hardly moves

// The tangent of the exact port solution g(p), i = f(p + F i), at a rest point.
struct Tangent
{
    std::vector<double> p, i;
    std::vector<double> jacobian; // ni x nv, row-major: di_j / dp_q at j * nv + q
};

struct PositionData
{
    std::vector<BlockOperatingPoint> rest; // one per processing rate
    Tangent tangent;
};

// The four blocks at one processing rate with the exactly solved triode in place of the networks.
class RateCircuit
{
public:
    explicit RateCircuit (double rate) : blocks (makePreampBlocks (rate))
    {
        for (size_t k = 0; k < numBlocks; ++k)
        {
            blocks[k]->triode = &triode;
            solvers[k] = std::make_unique<PortSolver> (*blocks[k], triode);
        }
    }

    BlockOperatingPoint rest (int k, uint32_t position, double restInput)
    {
        auto& b = block (k);
        b.setControlPosition (position);
        std::vector<double> u (b.numInputs, 0.0);
        u[0] = restInput;
        b.fillSupplyInputs (u.data(), u.size());
        return solveRestState (b, solver (k), u);
    }

    // The rest state the block keeps at this rate when its currents follow a tangent taken at
    // another rate: x = A x + B u + C i with i = i0 + J (D x + E u - p0), a linear system. The
    // rate table must hold this one, not the exact rest, or the block would start off balance
    // and settle audibly. A state whose capacitor is connected to nothing keeps 0.
    BlockOperatingPoint linearRest (int k, uint32_t position, double restInput, const Tangent& t)
    {
        auto& b = block (k);
        b.setControlPosition (position);
        const uint32_t nx = b.numStates, nu = b.numInputs, nv = b.numNonlinearInputs, ni = b.numNonlinearOutputs;
        BlockOperatingPoint point;
        point.u.assign (nu, 0.0);
        point.u[0] = restInput;
        b.fillSupplyInputs (point.u.data(), point.u.size());

        // i = c + JD x with c = i0 + J (E u - p0) and JD = J D.
        std::vector<double> c (ni), jd (static_cast<size_t> (ni) * nx, 0.0);
        for (uint32_t m = 0; m < ni; ++m)
        {
            c[m] = t.i[m];
            for (uint32_t q = 0; q < nv; ++q)
            {
                double eu = -t.p[q];
                for (uint32_t a = 0; a < nu; ++a)
                    eu += b.E (q, a) * point.u[a];
                c[m] += t.jacobian[m * nv + q] * eu;
                for (uint32_t r = 0; r < nx; ++r)
                    jd[m * nx + r] += t.jacobian[m * nv + q] * b.D (q, r);
            }
        }
        // (I - A - C JD) x = B u + C c, as an augmented matrix.
        std::vector<std::vector<double>> M (nx, std::vector<double> (nx + 1, 0.0));
        for (uint32_t r = 0; r < nx; ++r)
        {
            bool inert = true;
            for (uint32_t j = 0; j < nx; ++j)
                inert = inert && b.A (r, j) == (j == r ? 1.0 : 0.0) && b.A (j, r) == (j == r ? 1.0 : 0.0);
            if (inert)
            {
                M[r][r] = 1.0;
                continue;
            }
            for (uint32_t j = 0; j < nx; ++j)
            {
                M[r][j] = (r == j ? 1.0 : 0.0) - b.A (r, j);
                for (uint32_t m = 0; m < ni; ++m)
                    M[r][j] -= b.C (r, m) * jd[m * nx + j];
            }
            for (uint32_t a = 0; a < nu; ++a)
                M[r][nx] += b.B (r, a) * point.u[a];
            for (uint32_t m = 0; m < ni; ++m)
                M[r][nx] += b.C (r, m) * c[m];
        }
        for (uint32_t col = 0; col < nx; ++col)
        {
            uint32_t pivot = col;
            for (uint32_t r = col + 1; r < nx; ++r)
                if (std::abs (M[r][col]) > std::abs (M[pivot][col]))
                    pivot = r;
            if (M[pivot][col] == 0.0)
                return point; // not converged
            std::swap (M[pivot], M[col]);
            for (uint32_t r = 0; r < nx; ++r)
                if (r != col)
                {
                    const double factor = M[r][col] / M[col][col];
                    for (uint32_t j = col; j <= nx; ++j)
                        M[r][j] -= factor * M[col][j];
                }
        }
        point.x.assign (nx, 0.0);
        for (uint32_t r = 0; r < nx; ++r)
            point.x[r] = M[r][nx] / M[r][r];
        point.i = c;
        for (uint32_t m = 0; m < ni; ++m)
            for (uint32_t r = 0; r < nx; ++r)
                point.i[m] += jd[m * nx + r] * point.x[r];
        point.p.assign (nv, 0.0);
        b.computeNonlinearInputs (point.u.data(), point.x.data(), point.p.data());
        b.computeOutput (point.u.data(), point.x.data(), point.i.data(), &point.y);
        point.converged = true;
        return point;
    }

    // At the position the block was last put in by rest().
    bool tangentAt (int k, const BlockOperatingPoint& point, Tangent& tangent)
    {
        const auto& b = block (k);
        const uint32_t nv = b.numNonlinearInputs, ni = b.numNonlinearOutputs;
        tangent.p = point.p;
        tangent.i = point.i;
        tangent.jacobian.assign (static_cast<size_t> (ni) * nv, 0.0);
        std::vector<double> p = point.p, iPlus, iMinus;
        for (uint32_t q = 0; q < nv; ++q)
        {
            p[q] = point.p[q] + differenceStep;
            iPlus = point.i;
            const bool plusSolved = solver (k).solve (p.data(), b.F, iPlus.data()).valid();
            p[q] = point.p[q] - differenceStep;
            iMinus = point.i;
            const bool minusSolved = solver (k).solve (p.data(), b.F, iMinus.data()).valid();
            p[q] = point.p[q];
            if (!plusSolved || !minusSolved)
                return false;
            for (uint32_t j = 0; j < ni; ++j)
                tangent.jacobian[j * nv + q] = (iPlus[j] - iMinus[j]) / (2.0 * differenceStep);
        }
        return true;
    }

    SSParamsVecAutomation& block (int k) { return *blocks[static_cast<size_t> (k)]; }

private:
    const PortSolver& solver (int k) const { return *solvers[static_cast<size_t> (k)]; }

    ReferenceTriode triode;
    PreampBlockSet blocks;
    std::array<std::unique_ptr<PortSolver>, numBlocks> solvers;
};

struct NetScaling
{
    std::vector<float> lower, upper, inputMin, inputMax, outputMin, outputMax;
    std::vector<double> inputWeight; // ni x nv: network output j per unit of scaled input q
};

// The box spans every rate's rest p widened by R; the inputs map p_tangent -/+ R to -1/+1; each
// output's scale covers the tangent's largest excursion over the box with headroom. For the
// symmetric clip output 0 is the rest current, for the [0, 1] clip output 0.5 is.
NetScaling scalingFor (const PositionData& data, double boxVolts, bool symmetricOutput)
{
    const Tangent& t = data.tangent;
    const size_t nv = t.p.size(), ni = t.i.size();
    NetScaling s;
    std::vector<double> reach (nv, boxVolts);
    for (size_t q = 0; q < nv; ++q)
    {
        double low = t.p[q], high = t.p[q];
        for (const auto& rest : data.rest)
        {
            low = std::min (low, rest.p[q]);
            high = std::max (high, rest.p[q]);
        }
        s.lower.push_back (static_cast<float> (low - boxVolts));
        s.upper.push_back (static_cast<float> (high + boxVolts));
        s.inputMin.push_back (static_cast<float> (t.p[q] - boxVolts));
        s.inputMax.push_back (static_cast<float> (t.p[q] + boxVolts));
        reach[q] = std::max (t.p[q] - (low - boxVolts), (high + boxVolts) - t.p[q]);
    }
    s.inputWeight.assign (ni * nv, 0.0);
    for (size_t j = 0; j < ni; ++j)
    {
        double excursion = 0.0;
        for (size_t q = 0; q < nv; ++q)
            excursion += std::abs (t.jacobian[j * nv + q]) * reach[q];
        const double scale = std::max (outputHeadroom * excursion, smallestOutputScale);
        // Output units per unit of scaled input: one scaled unit is boxVolts volts.
        const double outputSpan = symmetricOutput ? scale : 2.0 * scale;
        for (size_t q = 0; q < nv; ++q)
            s.inputWeight[j * nv + q] = t.jacobian[j * nv + q] * boxVolts / outputSpan;
        const double rest = t.i[j];
        s.outputMin.push_back (static_cast<float> (symmetricOutput ? rest : rest - scale));
        s.outputMax.push_back (static_cast<float> (rest + scale));
    }
    return s;
}

template <typename Net>
void fillBox (Net& net, const NetScaling& s)
{
    net.lowerBound = s.lower;
    net.upperBound = s.upper;
    net.inputMin = s.inputMin;
    net.inputMax = s.inputMax;
    net.outputMin = s.outputMin;
    net.outputMax = s.outputMax;
}

std::vector<double> tableOf (const std::vector<int32_t>& rates, const std::vector<BlockOperatingPoint>& rest)
{
    std::vector<RateRecord> records;
    for (size_t r = 0; r < rates.size(); ++r)
        records.push_back ({static_cast<double> (rates[r]), rest[r].p, rest[r].i, rest[r].x});
    return rateTable (records);
}

// Pca kind, identity projection, all-ones masks; one hidden layer of pass-through neurons.
std::string writePca (const std::string& folder, const std::string& name, const std::vector<int32_t>& rates,
                      const std::vector<PositionData>& positions, double boxVolts)
{
    PCAModelFileF file;
    file.setModelCount (1);
    auto& model = file.models[0];
    for (const auto& data : positions)
    {
        const auto nv = static_cast<uint32_t> (data.tangent.p.size());
        const auto ni = static_cast<uint32_t> (data.tangent.i.size());
        PCAPositionRecord position = passThroughPcaPosition (nv, ni);
        position.rateTable = tableOf (rates, data.rest);
        position.tableLength = static_cast<uint32_t> (position.rateTable.size());
        model.tableLength = position.tableLength;

        const NetScaling s = scalingFor (data, boxVolts, true);
        PCANetRecord net;
        net.inputCount = nv;
        net.outputCount = ni;
        fillBox (net, s);
        net.hiddenSizes = {nv};
        net.hiddenNeuronSteepness.assign (nv, passThroughSteepness);
        net.outputNeuronSteepness.assign (ni, 1.0f);
        for (uint32_t g = 0; g < nv; ++g) // hidden neuron g takes input g, no bias
            for (uint32_t h = 0; h <= nv; ++h)
                net.weights.push_back (h == g ? 1.0f : 0.0f);
        for (uint32_t j = 0; j < ni; ++j)
        {
            for (uint32_t q = 0; q < nv; ++q)
                net.weights.push_back (static_cast<float> (s.inputWeight[j * nv + q] / passThroughSteepness));
            net.weights.push_back (0.0f);
        }
        position.nets.push_back (std::move (net));
        model.positions.push_back (std::move (position));
    }
    return testfiles::writeModelFile (file, folder + "/" + name, true);
}

// Standard kind with no hidden layer: output j = 0.5 + the tangent, on the [0, 1] clip.
std::string writeStandard (const std::string& folder, const std::string& name,
                           const std::vector<int32_t>& rates, const std::vector<PositionData>& positions,
                           double boxVolts)
{
    ModelFileF file;
    file.setModelCount (1);
    auto& model = file.models[0];
    for (const auto& data : positions)
    {
        const auto nv = static_cast<uint32_t> (data.tangent.p.size());
        const auto ni = static_cast<uint32_t> (data.tangent.i.size());
        model.inputCount = nv;
        model.outputCount = ni;
        PositionRecord position;
        position.inputCount = nv;
        position.outputCount = ni;
        position.rateTable = tableOf (rates, data.rest);
        position.tableLength = static_cast<uint32_t> (position.rateTable.size());
        model.tableLength = position.tableLength;

        const NetScaling s = scalingFor (data, boxVolts, false);
        NetRecord net;
        net.inputCount = nv;
        net.outputCount = ni;
        fillBox (net, s);
        net.hiddenSizes.clear();
        net.outputSteepness = 1.0f;
        for (uint32_t j = 0; j < ni; ++j)
        {
            for (uint32_t q = 0; q < nv; ++q)
                net.weights.push_back (static_cast<float> (s.inputWeight[j * nv + q]));
            net.weights.push_back (0.5f);
        }
        position.nets.push_back (std::move (net));
        model.positions.push_back (std::move (position));
    }
    return testfiles::writeModelFile (file, folder + "/" + name, true);
}

std::string describe (int k, uint32_t position, int32_t rate)
{
    return "block " + std::to_string (k + 1) + " position " + std::to_string (position) + " at " +
           std::to_string (rate) + " Hz";
}
} // namespace

std::string writeLinearisedModelSet (const std::string& folder, const LinearisedModelSet& set)
{
    const auto& rates = set.processingRates;
    if (rates.empty() || set.gainPositions == 0 || set.tonePositions == 0)
        return "a linearised set needs a rate, a gain position and a tone position";
    const uint32_t restGain = std::min (set.restGainPosition, set.gainPositions - 1);

    std::vector<PositionData> gain1 (set.gainPositions), gain2 (set.gainPositions), tone (set.tonePositions);
    std::vector<PositionData> third (rates.size()); // block 3: one file per rate, one position
    std::vector<BlockOperatingPoint> thirdRest;
    std::string problem;
    auto keep = [&] (RateCircuit& circuit, int k, uint32_t position, size_t r, double input,
                     PositionData& data, bool tangentHere) -> double
    {
        // Blocks whose one file serves every rate follow the first rate's tangent at all of them.
        BlockOperatingPoint point = tangentHere || k == 2 ? circuit.rest (k, position, input)
                                                          : circuit.linearRest (k, position, input, data.tangent);
        if (!point.converged && problem.empty())
            problem = "no rest state for " + describe (k, position, rates[r]);
        if (tangentHere && !circuit.tangentAt (k, point, data.tangent) && problem.empty())
            problem = "no tangent for " + describe (k, position, rates[r]);
        const double y = point.y;
        data.rest.push_back (std::move (point));
        return y;
    };

    for (size_t r = 0; r < rates.size(); ++r)
    {
        RateCircuit circuit (rates[r]);
        const bool first = r == 0;
        double restOutput2 = 0.0;
        for (uint32_t g = 0; g < set.gainPositions; ++g)
        {
            const double y1 = keep (circuit, 0, g, r, 0.0, gain1[g], first);
            const double y2 = keep (circuit, 1, g, r, y1, gain2[g], first);
            if (g == restGain)
                restOutput2 = y2;
        }
        PositionData own;
        const double y3 = keep (circuit, 2, 0, r, restOutput2, own, true);
        third[r].tangent = own.tangent;
        thirdRest.push_back (own.rest.front());
        for (uint32_t t = 0; t < set.tonePositions; ++t)
            keep (circuit, 3, t, r, y3, tone[t], first);
        if (!problem.empty())
            return problem;
    }
    // Each of block 3's files holds the operating points of every rate.
    for (auto& data : third)
        data.rest = thirdRest;

    const std::string& pre = set.prefix;
    for (const auto& [name, data, k] :
         {std::tuple{pre + "_b1_pca.dat", &gain1, 0}, std::tuple{pre + "_b2_pca.dat", &gain2, 1}})
        if (auto error = writePca (folder, name, rates, *data, set.boxVolts[k]); !error.empty())
            return error;
    if (auto error = writeStandard (folder, pre + "_b4_std.dat", rates, tone, set.boxVolts[3]); !error.empty())
        return error;
    for (size_t r = 0; r < rates.size(); ++r)
        if (auto error = writePca (folder, pre + "_b3_pca.dat." + std::to_string (rates[r]), rates, {third[r]},
                                   set.boxVolts[2]);
            !error.empty())
            return error;
    return {};
}
} // namespace chainfiles
