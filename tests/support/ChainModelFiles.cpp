#include "ChainModelFiles.h"

#include "ModelFileWriting.h"
#include "models/ModelFile.h"

#include <cstdlib>
#include <random>
#include <stdexcept>

namespace chainfiles
{
namespace
{
constexpr float farAway = 1.0e6f;
constexpr float huge = 1.0e9f;

std::vector<double> identityProjection (uint32_t n)
{
    std::vector<double> m (static_cast<size_t> (n) * n, 0.0);
    for (uint32_t k = 0; k < n; ++k)
        m[k * n + k] = 1.0;
    return m;
}
} // namespace

PCAPositionRecord passThroughPcaPosition (uint32_t nv, uint32_t ni)
{
    PCAPositionRecord position;
    position.projectionRows = nv;
    position.netInputCount = nv;
    position.netOutputCount = ni;
    position.inputMask.assign (nv, 1u);
    position.outputMask.assign (ni, 1u);
    position.projection = identityProjection (nv);
    return position;
}

std::vector<double> rateTable (const std::vector<RateRecord>& records)
{
    std::vector<double> table{static_cast<double> (records.size())};
    for (const auto& record : records)
    {
        table.push_back (record.rate);
        table.insert (table.end(), record.p.begin(), record.p.end());
        table.insert (table.end(), record.i.begin(), record.i.end());
        table.insert (table.end(), record.x.begin(), record.x.end());
    }
    return table;
}

ConstantRegion everywhere (uint32_t inputs, std::vector<float> current)
{
    return {std::vector<float> (inputs, -huge), std::vector<float> (inputs, huge), std::move (current)};
}

ConstantRegion nowhere (uint32_t inputs, std::vector<float> current)
{
    return {std::vector<float> (inputs, farAway), std::vector<float> (inputs, farAway + 1.0f),
            std::move (current)};
}

std::string writeConstantModel (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                const std::vector<std::vector<ConstantRegion>>& positions,
                                const std::vector<double>& table)
{
    return writeConstantModel (path, usesPca, nv, ni, positions,
                               std::vector<std::vector<double>> (positions.size(), table));
}

std::string writeConstantModel (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                const std::vector<std::vector<ConstantRegion>>& positions,
                                const std::vector<std::vector<double>>& tables)
{
    // Every position's table has the model's one length.
    const auto tableLength = static_cast<uint32_t> (tables.empty() ? 0 : tables.front().size());
    for (const auto& table : tables)
        if (table.size() != tableLength || tables.size() != positions.size())
            return "each position needs a rate table of the same length";
    auto fillNet = [&] (auto& net, const ConstantRegion& region)
    {
        net.inputCount = nv;
        net.outputCount = ni;
        net.lowerBound = region.lower;
        net.upperBound = region.upper;
        net.inputMin.assign (nv, -1.0f);
        net.inputMax.assign (nv, 1.0f);
        net.outputMin = region.current;
        net.outputMax.clear();
        for (float c : region.current)
            net.outputMax.push_back (c + 1.0f);
    };

    if (!usesPca)
    {
        ModelFileF file;
        file.setModelCount (1);
        auto& model = file.models[0];
        model.inputCount = nv;
        model.outputCount = ni;
        model.tableLength = tableLength;
        for (size_t index = 0; index < positions.size(); ++index)
        {
            const auto& regions = positions[index];
            PositionRecord position;
            position.inputCount = nv;
            position.outputCount = ni;
            position.tableLength = tableLength;
            position.rateTable = tables[index];
            for (const auto& region : regions)
            {
                NetRecord net;
                fillNet (net, region);
                net.hiddenSizes = {1};
                net.outputSteepness = 1.0f;
                net.weights.assign (net.weightCount(), 0.0f);
                position.nets.push_back (std::move (net));
            }
            model.positions.push_back (std::move (position));
        }
        return testfiles::writeModelFile (file, path);
    }

    PCAModelFileF file;
    file.setModelCount (1);
    auto& model = file.models[0];
    model.tableLength = tableLength;
    for (size_t index = 0; index < positions.size(); ++index)
    {
        const auto& regions = positions[index];
        PCAPositionRecord position = passThroughPcaPosition (nv, ni);
        position.tableLength = tableLength;
        position.rateTable = tables[index];
        for (const auto& region : regions)
        {
            PCANetRecord net;
            fillNet (net, region);
            net.hiddenSizes = {1};
            net.hiddenNeuronSteepness = {1.0f};
            net.outputNeuronSteepness.assign (ni, 1.0f);
            net.weights.assign (net.weightCount(), 0.0f);
            position.nets.push_back (std::move (net));
        }
        model.positions.push_back (std::move (position));
    }
    return testfiles::writeModelFile (file, path);
}

std::string writeRepresentativeModel (const std::string& path, const RepresentativeModel& shape)
{
    std::mt19937 generator (shape.seed);
    std::normal_distribution<float> weight (0.0f, 0.5f);

    std::vector<RateRecord> records;
    for (double rate : shape.rates)
        records.push_back ({rate, std::vector<double> (shape.nv, 0.0), std::vector<double> (shape.ni, 0.0),
                            std::vector<double> (shape.nx, 0.0)});
    const std::vector<double> table = rateTable (records);
    const auto tableLength = static_cast<uint32_t> (table.size());

    auto fillNet = [&] (auto& net, uint32_t region)
    {
        net.inputCount = shape.nv;
        net.outputCount = shape.ni;
        const bool covering = region + 1 == shape.regionsPerPosition;
        net.lowerBound.assign (shape.nv, covering ? -huge : farAway + static_cast<float> (region));
        net.upperBound.assign (shape.nv, covering ? huge : farAway + static_cast<float> (region) + 1.0f);
        net.inputMin.assign (shape.nv, -shape.inputRange);
        net.inputMax.assign (shape.nv, shape.inputRange);
        net.outputMin.assign (shape.ni, 0.0f);
        net.outputMax.assign (shape.ni, shape.maxCurrent);
        net.hiddenSizes = {shape.hidden};
        net.weights.resize (net.weightCount());
        for (auto& w : net.weights)
            w = weight (generator);
    };

    if (!shape.usesPca)
    {
        ModelFileF file;
        file.setModelCount (1);
        auto& model = file.models[0];
        model.inputCount = shape.nv;
        model.outputCount = shape.ni;
        model.tableLength = tableLength;
        for (uint32_t a = 0; a < shape.positions; ++a)
        {
            PositionRecord position;
            position.inputCount = shape.nv;
            position.outputCount = shape.ni;
            position.tableLength = tableLength;
            position.rateTable = table;
            for (uint32_t r = 0; r < shape.regionsPerPosition; ++r)
            {
                NetRecord net;
                fillNet (net, r);
                net.hiddenSteepness = 0.5f;
                net.outputSteepness = 1.0f;
                position.nets.push_back (std::move (net));
            }
            model.positions.push_back (std::move (position));
        }
        return testfiles::writeModelFile (file, path);
    }

    // A rotation in the plane of the first two inputs keeps the projection well conditioned
    // and makes it differ from the identity.
    std::vector<double> projection = identityProjection (shape.nv);
    if (shape.nv >= 2)
    {
        const double c = 0.8, s = 0.6;
        projection[0] = c;
        projection[1] = -s;
        projection[shape.nv] = s;
        projection[shape.nv + 1] = c;
    }

    PCAModelFileF file;
    file.setModelCount (1);
    auto& model = file.models[0];
    model.tableLength = tableLength;
    for (uint32_t a = 0; a < shape.positions; ++a)
    {
        PCAPositionRecord position;
        position.tableLength = tableLength;
        position.projectionRows = shape.nv;
        position.netInputCount = shape.nv;
        position.netOutputCount = shape.ni;
        position.inputMask.assign (shape.nv, 1u);
        position.outputMask.assign (shape.ni, 1u);
        position.projection = projection;
        position.rateTable = table;
        for (uint32_t r = 0; r < shape.regionsPerPosition; ++r)
        {
            PCANetRecord net;
            fillNet (net, r);
            net.hiddenNeuronSteepness.assign (shape.hidden, 0.5f);
            net.outputNeuronSteepness.assign (shape.ni, 1.0f);
            position.nets.push_back (std::move (net));
        }
        model.positions.push_back (std::move (position));
    }
    return testfiles::writeModelFile (file, path);
}

std::string makeTemporaryFolder (const std::string& stem)
{
    const char* base = std::getenv ("TMPDIR");
    std::string pattern =
        std::string (base != nullptr && *base != '\0' ? base : "/tmp") + "/" + stem + "XXXXXX";
    if (mkdtemp (pattern.data()) == nullptr)
        throw std::runtime_error ("cannot create a temporary folder from " + pattern);
    return pattern;
}
} // namespace chainfiles
