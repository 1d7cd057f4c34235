#include "Mlp.h"

#include "CholeskySolve.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace
{
constexpr double sumLimit = 150.0; // FANN clips every neuron's sum to 150 / steepness

double weightedCost (const Mlp& net, const ScaledData& data)
{
    std::vector<double> y (static_cast<size_t> (data.outputCount));
    double cost = 0.0;
    for (size_t n = 0; n < data.size(); ++n)
    {
        net.evaluate (data.inputs.data() + n * static_cast<size_t> (data.inputCount), y.data());
        for (int o = 0; o < data.outputCount; ++o)
        {
            const double e =
                (y[static_cast<size_t> (o)] - data.targets[n * static_cast<size_t> (data.outputCount) + static_cast<size_t> (o)])
                * data.outputWeights[static_cast<size_t> (o)];
            cost += e * e;
        }
    }
    return cost;
}

// Output layer by weighted ridge least squares on the current hidden layer.
void solveOutputLayer (Mlp& net, const ScaledData& data)
{
    const size_t H = static_cast<size_t> (net.hidden), nIn = static_cast<size_t> (net.inputs);
    const size_t m = H + 1;
    std::vector<double> h (H), slope (H), y (static_cast<size_t> (net.outputs));
    std::vector<double> G (m * m, 0.0);
    std::vector<std::vector<double>> rhs (static_cast<size_t> (net.outputs), std::vector<double> (m, 0.0));
    std::vector<double> feature (m);
    for (size_t n = 0; n < data.size(); ++n)
    {
        net.evaluate (data.inputs.data() + n * nIn, y.data(), h.data(), slope.data());
        for (size_t g = 0; g < H; ++g)
            feature[g] = h[g];
        feature[H] = 1.0;
        for (size_t r = 0; r < m; ++r)
            for (size_t c = 0; c < m; ++c)
                G[r * m + c] += feature[r] * feature[c];
        for (size_t o = 0; o < static_cast<size_t> (net.outputs); ++o)
        {
            const double t = data.targets[n * static_cast<size_t> (data.outputCount) + o];
            for (size_t r = 0; r < m; ++r)
                rhs[o][r] += feature[r] * t;
        }
    }
    for (size_t r = 0; r < m; ++r)
        G[r * m + r] += 1e-9 * (1.0 + G[r * m + r]);
    const size_t base = H * (nIn + 1);
    for (size_t o = 0; o < static_cast<size_t> (net.outputs); ++o)
    {
        auto M = G;
        auto b = rhs[o];
        if (!choleskySolve (M, b, m))
            continue;
        for (size_t r = 0; r < m; ++r)
            net.weights[base + o * m + r] = b[r];
    }
}

Mlp initialNetwork (const ScaledData& data, int hidden, std::mt19937& random)
{
    Mlp net (data.inputCount, hidden, data.outputCount);
    std::normal_distribution<double> gauss (0.0, 1.0);
    std::uniform_real_distribution<double> uniform (-1.0, 1.0);
    const size_t nIn = static_cast<size_t> (data.inputCount);
    const double spread = 2.5 / std::sqrt (static_cast<double> (nIn));
    for (size_t g = 0; g < static_cast<size_t> (hidden); ++g)
    {
        for (size_t q = 0; q < nIn; ++q)
            net.weights[g * (nIn + 1) + q] = spread * gauss (random);
        net.weights[g * (nIn + 1) + nIn] = 1.5 * uniform (random);
    }
    solveOutputLayer (net, data);
    return net;
}

void levenbergMarquardt (Mlp& net, const ScaledData& data, int iterations)
{
    const size_t P = net.weightCount();
    const size_t H = static_cast<size_t> (net.hidden), nIn = static_cast<size_t> (net.inputs),
                 nOut = static_cast<size_t> (net.outputs);
    const size_t outBase = H * (nIn + 1);
    std::vector<double> JtJ (P * P), Jtr (P), row (P), h (H), slope (H), y (nOut);
    double lambda = 1e-3;
    double cost = weightedCost (net, data);
    for (int it = 0; it < iterations; ++it)
    {
        std::fill (JtJ.begin(), JtJ.end(), 0.0);
        std::fill (Jtr.begin(), Jtr.end(), 0.0);
        for (size_t n = 0; n < data.size(); ++n)
        {
            const double* x = data.inputs.data() + n * nIn;
            net.evaluate (x, y.data(), h.data(), slope.data());
            for (size_t o = 0; o < nOut; ++o)
            {
                const double w = data.outputWeights[o];
                const double r = (y[o] - data.targets[n * nOut + o]) * w;
                std::fill (row.begin(), row.end(), 0.0);
                for (size_t g = 0; g < H; ++g)
                {
                    const double d = w * net.weights[outBase + o * (H + 1) + g] * slope[g];
                    for (size_t q = 0; q < nIn; ++q)
                        row[g * (nIn + 1) + q] = d * x[q];
                    row[g * (nIn + 1) + nIn] = d;
                }
                for (size_t g = 0; g < H; ++g)
                    row[outBase + o * (H + 1) + g] = w * h[g];
                row[outBase + o * (H + 1) + H] = w;
                // Only the hidden weights and this output's own weights are non-zero.
                for (size_t a = 0; a < P; ++a)
                {
                    const double ra = row[a];
                    if (ra == 0.0)
                        continue;
                    Jtr[a] += ra * r;
                    for (size_t b = 0; b <= a; ++b)
                        JtJ[a * P + b] += ra * row[b];
                }
            }
        }
        for (size_t a = 0; a < P; ++a)
            for (size_t b = 0; b < a; ++b)
                JtJ[b * P + a] = JtJ[a * P + b];

        bool improved = false;
        for (int attempt = 0; attempt < 8 && !improved; ++attempt)
        {
            auto M = JtJ;
            std::vector<double> step (P);
            for (size_t a = 0; a < P; ++a)
            {
                M[a * P + a] += lambda * (JtJ[a * P + a] + 1e-12);
                step[a] = -Jtr[a];
            }
            if (choleskySolve (M, step, P))
            {
                Mlp trial = net;
                for (size_t a = 0; a < P; ++a)
                    trial.weights[a] += step[a];
                const double trialCost = weightedCost (trial, data);
                if (trialCost < cost)
                {
                    net = std::move (trial);
                    improved = true;
                    const bool stalled = cost - trialCost < 1e-9 * cost;
                    cost = trialCost;
                    lambda = std::max (lambda / 3.0, 1e-12);
                    if (stalled)
                        return;
                    break;
                }
            }
            lambda *= 4.0;
        }
        if (!improved || lambda > 1e10)
            return;
    }
}
} // namespace

Mlp::Mlp (int nIn, int nHidden, int nOut)
    : inputs (nIn), hidden (nHidden), outputs (nOut), weights (weightCount(), 0.0)
{
}

void Mlp::evaluate (const double* x, double* y, double* hiddenOut, double* hiddenSlope) const
{
    const size_t nIn = static_cast<size_t> (inputs), H = static_cast<size_t> (hidden);
    double h[64];
    for (size_t g = 0; g < H; ++g)
    {
        const double* w = weights.data() + g * (nIn + 1);
        double s = w[nIn];
        for (size_t q = 0; q < nIn; ++q)
            s += w[q] * x[q];
        double slope = 0.0;
        if (s > sumLimit)
            s = sumLimit;
        else if (s < -sumLimit)
            s = -sumLimit;
        else
            slope = 1.0 / ((1.0 + std::abs (s)) * (1.0 + std::abs (s)));
        h[g] = s / (1.0 + std::abs (s));
        if (hiddenOut != nullptr)
            hiddenOut[g] = h[g];
        if (hiddenSlope != nullptr)
            hiddenSlope[g] = slope;
    }
    const double* w2 = weights.data() + H * (nIn + 1);
    for (size_t o = 0; o < static_cast<size_t> (outputs); ++o)
    {
        const double* w = w2 + o * (H + 1);
        double s = w[H];
        for (size_t g = 0; g < H; ++g)
            s += w[g] * h[g];
        y[o] = s;
    }
}

FitError measureFit (const Mlp& net, const ScaledData& data)
{
    FitError error;
    std::vector<double> y (static_cast<size_t> (data.outputCount));
    double sum = 0.0;
    size_t count = 0;
    for (size_t n = 0; n < data.size(); ++n)
    {
        net.evaluate (data.inputs.data() + n * static_cast<size_t> (data.inputCount), y.data());
        for (size_t o = 0; o < static_cast<size_t> (data.outputCount); ++o)
        {
            const double e = std::abs (y[o] - data.targets[n * static_cast<size_t> (data.outputCount) + o])
                             * data.outputWeights[o];
            sum += e * e;
            error.max = std::max (error.max, e);
            ++count;
        }
    }
    error.rms = count > 0 ? std::sqrt (sum / static_cast<double> (count)) : 0.0;
    return error;
}

Mlp trainMlp (const ScaledData& data, const TrainOptions& options)
{
    std::mt19937 random (options.seed);
    Mlp best = initialNetwork (data, std::min (options.hidden, 64), random);
    double bestCost = weightedCost (best, data);
    if (!std::isfinite (bestCost))
        bestCost = std::numeric_limits<double>::infinity();
    for (int r = 0; r < std::max (1, options.restarts); ++r)
    {
        Mlp net = initialNetwork (data, std::min (options.hidden, 64), random);
        levenbergMarquardt (net, data, options.iterations);
        const double cost = weightedCost (net, data);
        if (cost < bestCost)
        {
            bestCost = cost;
            best = std::move (net);
        }
    }
    return best;
}
