#pragma once

#include "AccuracySignals.h"
#include "DataSetBuilder.h"

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// What one accuracy report covers: every combination of valve set, host rate, oversampling
// factor, gain position, tone position and signal class.
struct AccuracyGrid
{
    std::filesystem::path dataDir;
    std::vector<ValveSet> valves;
    std::vector<int> hostRates = {44100, 48000};
    std::vector<int> factors = {1, 2, 4, 8, 16};
    std::vector<int> gains = {0, 4, 8, 12, 16};
    std::vector<int> tones; // block 4 positions, 225 treble + 15 bass + middle
    std::vector<const AccuracySignalClass*> classes;
    int signalsPerClass = 1;
    double seconds = 0.2;
    // Also runs the plug-in's own ChannelChain (files from disk, its own oversampling filters)
    // at the first tone of the grid and reports how far it is from this harness's network path.
    bool pluginCheck = false;
};

// One row: the chain's output as the host receives it (after the down-sampler when
// oversampling), networks against the exact circuit, rest value removed.
struct AccuracyRow
{
    std::string valve;
    int hostRate = 0, factor = 1, gain = 0, tone = 0;
    std::string signalClass;
    double esr = 0.0;   // whole signal
    double esr50 = 0.0; // its first 50 ms
    long signFlips = 0; // samples of opposite sign where the exact output exceeds 10 % of its peak
    long samples = 0;   // processing-rate samples per block
    std::array<long, 4> misses{}; // per block: samples outside every box of the position
    double pluginEsr = -1.0; // ChannelChain against the harness's network path; -1 when not run
    // Each block's networks alone, driven by the exact circuit's input to that block: which
    // block the chain's error comes from (at the processing rate).
    std::array<double, 4> blockEsr{};
};

// The tone grid: `levels` settings per control spread over 0 to 14 (both ends included), every
// combination; levels 2 gives the 8 corners. Adds the middle setting (7, 7, 7) when missing.
std::vector<int> toneGrid (int levels);
int toneIndex (int treble, int middle, int bass);
void toneControls (int index, int& treble, int& middle, int& bass);

// Measures every row, handing each to `sink` as soon as it is known. Returns an error message
// (a missing or unreadable model file, naming it) or an empty string.
std::string runAccuracyGrid (const AccuracyGrid& grid, const std::function<void (const AccuracyRow&)>& sink);

// Summary figures over many rows.
struct AccuracySummary
{
    size_t rows = 0;
    double medianEsr = 0.0, worstEsr = 0.0, medianEsr50 = 0.0, worstEsr50 = 0.0;
    long signFlips = 0;
    size_t rowsWithFlips = 0;
    std::array<long, 4> misses{};
    long samples = 0;
    size_t rowsWithMisses = 0;
    double worstPluginEsr = -1.0;
    std::array<double, 4> medianBlockEsr{}, worstBlockEsr{};
};

AccuracySummary summariseRows (const std::vector<AccuracyRow>& rows);
