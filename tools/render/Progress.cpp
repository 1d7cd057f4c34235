#include "Progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace
{
constexpr double progressAboveSeconds = 5.0;
constexpr double sliceSeconds = 0.25;
constexpr int barWidth = 30;
} // namespace

std::vector<std::vector<float>> processWithProgress (vst2host::Effect& effect,
                                                     const std::vector<std::vector<float>>& channels,
                                                     double sampleRate)
{
    const size_t length = channels.empty() ? 0 : channels.front().size();
    if (static_cast<double> (length) < progressAboveSeconds * sampleRate)
        return effect.process (channels);

    const bool terminal = isatty (STDERR_FILENO) != 0;
    // Whole host blocks per slice, so the blocks are the same as in one pass.
    const size_t block = static_cast<size_t> (std::max (1, effect.blockSize()));
    const size_t slice = std::max<size_t> (1, static_cast<size_t> (sliceSeconds * sampleRate) / block) * block;
    std::vector<std::vector<float>> output (channels.size());
    std::vector<std::vector<float>> part (channels.size());
    const auto start = std::chrono::steady_clock::now();
    int lastQuarter = 0;
    for (size_t from = 0; from < length; from += slice)
    {
        const size_t to = std::min (length, from + slice);
        for (size_t c = 0; c < channels.size(); ++c)
            part[c].assign (channels[c].begin() + static_cast<long> (from), channels[c].begin() + static_cast<long> (to));
        const auto processed = effect.process (part);
        for (size_t c = 0; c < processed.size() && c < output.size(); ++c)
            output[c].insert (output[c].end(), processed[c].begin(), processed[c].end());

        const double done = static_cast<double> (to) / static_cast<double> (length);
        const double elapsed = std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
        const double left = done > 0.0 ? elapsed * (1.0 - done) / done : 0.0;
        const int quarter = static_cast<int> (done * 4.0);
        if (!terminal && quarter == lastQuarter && to < length)
            continue;
        lastQuarter = quarter;
        char bar[barWidth + 1];
        const int filled = static_cast<int> (done * barWidth);
        for (int i = 0; i < barWidth; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[barWidth] = '\0';
        std::fprintf (stderr, "%srender: [%s] %3.0f%% of %.1f s audio, %.1f s elapsed, %.1f s left%s",
                      terminal ? "\r" : "", bar, done * 100.0, static_cast<double> (length) / sampleRate, elapsed, left,
                      terminal ? "" : "\n");
        std::fflush (stderr);
    }
    if (terminal)
        std::fprintf (stderr, "\n");
    return output;
}
