// After any input, however loud or broken, the chain comes back to what a fresh chain plays:
// a loud burst drives the stages out of the range their networks were trained on, and the
// circuit recovers at once, so the chain must too. Runs on the real model data set, for both
// valve sets, three gains and every rate and factor the set holds: the tests' small set (44.1 and
// 48 kHz, x1 and x2) and the default set the plug-in ships (six host rates, x1 to x16).
//
// Per valve set, rate and factor, one chain is loaded. For each gain it is reset to the
// operating point and plays the following signal alone: that is the fresh chain's answer. Then
// each event is played, followed by the same signal, and from 100 ms after the event the
// output must match the fresh answer within an energy-to-signal ratio of 1e-3.
#include "engine/ChannelChain.h"
#include "engine/PreampBlocks.h"
#include "models/BlockFacts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace
{
constexpr double followingSeconds = 0.15;
constexpr double settleSeconds = 0.1; // compared from here to the end of the following signal
constexpr double eventSeconds = 0.01;
constexpr float defaultInputGain = 1.5f; // the default program's Input of 24.5
constexpr uint32_t defaultTone = 1687;   // treble, middle and bass at 7
constexpr double maxEsr = 1e-3;
constexpr double maxEsrPastFullScale = 1e-2;
// Where the chain does not even reproduce its own fresh answer after silence (small differences
// in the first stages, crossing the boundary between two regions whose networks disagree there
// at slightly different samples, are amplified), it is only held to not being stuck: a stuck
// chain is silent or far off, with a ratio near 1.
constexpr double maxEsrWhenNotReproducible = 0.1;

struct Event
{
    const char* name;
    std::function<float (int sample, int length, int rate)> value;
    // Past full scale the circuit itself needs longer: its coupling capacitors, charged through
    // the grid, discharge with time constants of tens of milliseconds. The exact solution of the
    // circuit after 10 ms of DC at 4 (gain 8, 48 kHz) is still 5.7e-3 off its fresh answer
    // 100 ms later, so the chain is held to that order there.
    bool pastFullScale = false;
};

std::vector<Event> events()
{
    const auto dc = [] (float level) { return [level] (int, int, int) { return level; }; };
    constexpr bool past = true;
    const auto click = [] (float level) { return [level] (int s, int, int) { return s == 0 ? level : 0.0f; }; };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return {
        {"silence", dc (0.0f)}, // the control: no event, only the chain's own history
        {"dc+0.58", dc (0.58f)},
        {"dc+1", dc (1.0f)},
        {"dc+4", dc (4.0f), past},
        {"dc-0.58", dc (-0.58f)},
        {"dc-1", dc (-1.0f)},
        {"dc-4", dc (-4.0f), past},
        {"square500Hz", [] (int s, int, int rate) { return (s * 1000 / rate) % 2 == 0 ? 1.0f : -1.0f; }},
        {"click+1", click (1.0f)},
        {"click-1", click (-1.0f)},
        {"huge+1e30", dc (1e30f), past},
        {"huge-1e30", dc (-1e30f), past},
        {"nan", dc (nan)},
        {"nanAndHugeMixed", [nan] (int s, int, int) { return s % 3 == 0 ? nan : (s % 3 == 1 ? 1e30f : -1e30f); },
         past},
    };
}

std::vector<float> followingSignal (int rate)
{
    std::vector<float> signal (static_cast<size_t> (followingSeconds * rate));
    for (size_t s = 0; s < signal.size(); ++s)
        signal[s] = 0.3f * static_cast<float> (std::sin (2.0 * M_PI * 220.0 * static_cast<double> (s) / rate));
    return signal;
}

struct Setting
{
    const char* folder;
    const char* valve; // file name part: "eh" fresh, "rsd" aged
    int32_t hostRate;
    int32_t factor;
};

std::string settingName (const ::testing::TestParamInfo<Setting>& info)
{
    return std::string (info.param.valve) + "_" + std::to_string (info.param.hostRate) + "_x" +
           std::to_string (info.param.factor);
}

std::vector<Setting> everySetting (const char* folder, std::initializer_list<int32_t> hostRates,
                                   std::initializer_list<int32_t> factors)
{
    std::vector<Setting> settings;
    for (const char* valve : {"eh", "rsd"})
        for (const int32_t rate : hostRates)
            for (const int32_t factor : factors)
                settings.push_back ({folder, valve, rate, factor});
    return settings;
}

class LoudInputRecovery : public ::testing::TestWithParam<Setting>
{
protected:
    void load()
    {
        const Setting& setting = GetParam();
        const int32_t processingRate = setting.hostRate * setting.factor;
        blocks = makePreampBlocks (processingRate);
        for (int k = 0; k < 4; ++k)
        {
            // The file the plug-in would load for this rate.
            const std::string file = chooseModelFile (setting.folder, setting.valve, k, processingRate);
            const ModelLoadResult result =
                chain.loadBlockModel (k, blocks[static_cast<size_t> (k)].get(), file, k != 3);
            ASSERT_TRUE (result.ok) << result.message;
        }
        chain.inputGain = defaultInputGain;
    }

    // As a program switch leaves it: the positions, then the operating point of the rate.
    void resetAtGain (uint32_t gain)
    {
        chain.selectPosition (0, gain);
        chain.selectPosition (1, gain);
        chain.selectPosition (2, 0);
        chain.selectPosition (3, defaultTone);
        chain.prepareRate (GetParam().hostRate, GetParam().factor);
        ASSERT_TRUE (chain.isReady());
    }

    void play (std::vector<float>& samples)
    {
        if (GetParam().factor > 1)
            chain.processOversampled (samples.data(), static_cast<int> (samples.size()));
        else
            chain.processPlain (samples.data(), static_cast<int> (samples.size()));
    }

    PreampBlockSet blocks;
    ChannelChain chain;
};

double esrFrom (const std::vector<float>& output, const std::vector<float>& fresh, size_t first)
{
    double error = 0.0, energy = 0.0;
    for (size_t s = first; s < fresh.size(); ++s)
    {
        const double d = static_cast<double> (output[s]) - fresh[s];
        error += d * d;
        energy += static_cast<double> (fresh[s]) * fresh[s];
    }
    return energy > 0.0 ? error / energy : (error > 0.0 ? 1.0 : 0.0);
}

TEST_P (LoudInputRecovery, EveryEventIsForgottenWithin100Milliseconds)
{
    ASSERT_NO_FATAL_FAILURE (load());
    const int rate = GetParam().hostRate;
    const std::vector<float> following = followingSignal (rate);
    const auto settled = static_cast<size_t> (settleSeconds * rate);
    const int eventLength = static_cast<int> (eventSeconds * rate);

    for (const uint32_t gain : {0u, 8u, 16u})
    {
        ASSERT_NO_FATAL_FAILURE (resetAtGain (gain));
        std::vector<float> fresh = following;
        play (fresh);
        double energy = 0.0;
        for (size_t s = settled; s < fresh.size(); ++s)
            energy += static_cast<double> (fresh[s]) * fresh[s];
        ASSERT_GT (energy, 0.0) << "the fresh chain is silent at gain " << gain;

        std::string row;
        std::vector<std::pair<const char*, double>> measured;
        for (const Event& event : events())
        {
            std::vector<float> burst (static_cast<size_t> (eventLength));
            for (int s = 0; s < eventLength; ++s)
                burst[static_cast<size_t> (s)] = event.value (s, eventLength, rate);
            play (burst);
            std::vector<float> after = following;
            play (after);
            measured.emplace_back (event.name, esrFrom (after, fresh, settled));
            char cell[48];
            std::snprintf (cell, sizeof (cell), " %s %.1e", event.name, measured.back().second);
            row += cell;
        }
        // The measured table, for the record.
        std::printf ("%-3s %6d x%-2d gain %2u:%s\n", GetParam().valve, rate, GetParam().factor, gain, row.c_str());
        const bool reproducible = measured.front().second <= maxEsr; // the silence control
        const auto all = events();
        for (size_t e = 0; e < measured.size(); ++e)
        {
            const double limit = !reproducible         ? maxEsrWhenNotReproducible
                                 : all[e].pastFullScale ? maxEsrPastFullScale
                                                        : maxEsr;
            EXPECT_LE (measured[e].second, limit) << measured[e].first << " at gain " << gain;
        }
    }
}

INSTANTIATE_TEST_SUITE_P (RealModelData, LoudInputRecovery,
                          ::testing::ValuesIn (everySetting (VARKEL_TEST_MODEL_DATA, {44100, 48000}, {1, 2})),
                          settingName);

INSTANTIATE_TEST_SUITE_P (DefaultModelData, LoudInputRecovery,
                          ::testing::ValuesIn (everySetting (VARKEL_DEFAULT_MODEL_DATA,
                                                             {44100, 48000, 88200, 96000, 176400, 192000},
                                                             {1, 2, 4, 8, 16})),
                          settingName);
} // namespace
