#pragma once

#include <cstddef>
#include <vector>

// Points of one block's nonlinear map: inputs (the full p, or its reduced form) and the exact
// port currents there, stored row by row.
struct SampleSet
{
    int inputCount = 0;
    int outputCount = 0;
    std::vector<double> inputs;
    std::vector<double> outputs;

    SampleSet() = default;
    SampleSet (int nIn, int nOut) : inputCount (nIn), outputCount (nOut) {}

    size_t size() const { return inputCount > 0 ? inputs.size() / static_cast<size_t> (inputCount) : 0; }
    const double* input (size_t n) const { return inputs.data() + n * static_cast<size_t> (inputCount); }
    const double* output (size_t n) const { return outputs.data() + n * static_cast<size_t> (outputCount); }

    void add (const double* in, const double* out)
    {
        inputs.insert (inputs.end(), in, in + inputCount);
        outputs.insert (outputs.end(), out, out + outputCount);
    }
    void append (const SampleSet& other)
    {
        inputs.insert (inputs.end(), other.inputs.begin(), other.inputs.end());
        outputs.insert (outputs.end(), other.outputs.begin(), other.outputs.end());
    }
};
