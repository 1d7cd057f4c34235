#include "Progress.h"

#include "ProgressLine.h"

#include <algorithm>
#include <cstdio>

namespace
{
constexpr double progressAboveSeconds = 5.0;
constexpr double sliceSeconds = 0.25;
} // namespace

std::vector<std::vector<float>> processWithProgress (vst2host::Effect& effect,
                                                     const std::vector<std::vector<float>>& channels,
                                                     double sampleRate)
{
    const size_t length = channels.empty() ? 0 : channels.front().size();
    if (static_cast<double> (length) < progressAboveSeconds * sampleRate)
        return effect.process (channels);

    // Whole host blocks per slice, so the blocks are the same as in one pass.
    const size_t block = static_cast<size_t> (std::max (1, effect.blockSize()));
    const size_t slice = std::max<size_t> (1, static_cast<size_t> (sliceSeconds * sampleRate) / block) * block;
    std::vector<std::vector<float>> output (channels.size());
    std::vector<std::vector<float>> part (channels.size());
    char what[64];
    std::snprintf (what, sizeof (what), "of %.1f s audio", static_cast<double> (length) / sampleRate);
    ProgressLine progress ("render");
    for (size_t from = 0; from < length; from += slice)
    {
        const size_t to = std::min (length, from + slice);
        for (size_t c = 0; c < channels.size(); ++c)
            part[c].assign (channels[c].begin() + static_cast<long> (from), channels[c].begin() + static_cast<long> (to));
        const auto processed = effect.process (part);
        for (size_t c = 0; c < processed.size() && c < output.size(); ++c)
            output[c].insert (output[c].end(), processed[c].begin(), processed[c].end());
        progress.update (static_cast<double> (to) / static_cast<double> (length), what);
    }
    return output;
}
