// varkel_model_accuracy: the model data set against the exact circuit, one row per valve set,
// processing rate, gain, tone position and signal class, with a summary and optional bounds.
#include "AccuracyTable.h"
#include "CommandLine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

namespace
{
void usage()
{
    std::puts (
        "usage: varkel_model_accuracy --data DIR [--quick] [--valve eh|rsd|both] [--host-rates 44100,48000]\n"
        "                             [--factors 1,2,4,8,16] [--gains 0,4,8,12,16] [--tone-grid N | --tones I,J]\n"
        "                             [--classes pluck,chord,...] [--signals N] [--seconds S] [--plugin-check]\n"
        "                             [--summary-only] [--max-median ESR] [--max-worst ESR] [--max-flips N]\n"
        "                             [--max-miss-fraction F]\n"
        "Plays signals the builder never trained on through the networks of DIR and through the exact\n"
        "circuit, and prints per row the error-to-signal ratio of the output (after the down-sampler\n"
        "when oversampling) over the whole signal and over its first 50 ms, the samples whose sign\n"
        "is wrong where the exact output exceeds 10 % of its peak, and per block the samples whose\n"
        "nonlinear input lay in no box (served by the fallback); the summary adds each block's ESR\n"
        "alone (its networks driven by the exact circuit's input to it). --tone-grid N: N settings per tone\n"
        "control, every combination, plus (7,7,7) (default 4: 65 positions, the 8 corners among them).\n"
        "--quick: one host rate (48000) at x1 and x2, gains 0, 8, 16, the corners and the middle of\n"
        "the tone controls, short signals. The --max-* bounds make the exit status 1 when exceeded.\n"
        "Signal classes:");
    for (const auto& c : accuracySignalClasses())
        std::printf ("  %-10s Input %4.1f: %s\n", c.name.c_str(), static_cast<double> (c.inputLevel),
                     c.description.c_str());
}

std::string toneText (int tone)
{
    int t = 0, m = 0, b = 0;
    toneControls (tone, t, m, b);
    char text[32];
    std::snprintf (text, sizeof (text), "%2d,%2d,%2d", t, m, b);
    return text;
}

void printSummary (const char* label, const std::vector<AccuracyRow>& rows)
{
    const auto s = summariseRows (rows);
    const double n = s.samples > 0 ? static_cast<double> (s.samples) : 1.0;
    std::printf ("%-22s %6zu %10.3g %10.3g %10.3g %10.3g %7ld %9.2g %9.2g %9.2g %9.2g", label, s.rows, s.medianEsr,
                 s.worstEsr, s.medianEsr50, s.worstEsr50, s.signFlips, s.misses[0] / n, s.misses[1] / n,
                 s.misses[2] / n, s.misses[3] / n);
    for (size_t k = 0; k < 4; ++k)
        std::printf (" %8.2g/%-8.2g", s.medianBlockEsr[k], s.worstBlockEsr[k]);
    std::printf ("\n");
}
} // namespace

int main (int argc, char** argv)
{
    CommandLine args (argc, argv);
    AccuracyGrid grid;
    const bool quick = args.has ("quick");
    if (quick)
    {
        grid.hostRates = {48000};
        grid.factors = {1, 2};
        grid.gains = {0, 8, 16};
        grid.seconds = 0.1;
    }
    std::vector<int> toneLevels = {quick ? 2 : 4}, signals = {1};
    std::vector<int> flipLimit;
    double maxMedian = 0.0, maxWorst = 0.0, maxMissFraction = 0.0;
    if (args.error.empty())
        args.integers ("host-rates", grid.hostRates) && args.integers ("factors", grid.factors)
            && args.integers ("gains", grid.gains) && args.integers ("tone-grid", toneLevels)
            && args.integers ("tones", grid.tones) && args.integers ("signals", signals)
            && args.integers ("max-flips", flipLimit) && args.number ("seconds", grid.seconds)
            && args.number ("max-median", maxMedian) && args.number ("max-worst", maxWorst)
            && args.number ("max-miss-fraction", maxMissFraction);
    grid.valves = valveSetsByName (args.get ("valve", "both"));
    grid.dataDir = args.get ("data", ".");
    grid.pluginCheck = args.has ("plugin-check");
    grid.signalsPerClass = signals.empty() ? 1 : std::clamp (signals[0], 1, 20);
    if (grid.tones.empty())
        grid.tones = toneGrid (toneLevels.empty() ? 4 : toneLevels[0]);
    std::string classError;
    if (args.has ("classes"))
    {
        std::string list = args.get ("classes", ""), item;
        for (size_t start = 0; start <= list.size();)
        {
            const size_t end = std::min (list.find (',', start), list.size());
            item = list.substr (start, end - start);
            const auto* c = findAccuracySignalClass (item);
            if (c == nullptr)
                classError = "--classes: no signal class '" + item + "'";
            else
                grid.classes.push_back (c);
            start = end + 1;
        }
    }
    else
        for (const auto& c : accuracySignalClasses())
            grid.classes.push_back (&c);
    for (int g : grid.gains)
        if (g > 16)
            classError = "gain positions run from 0 to 16";
    for (int t : grid.tones)
        if (t > 3374)
            classError = "tone positions run from 0 to 3374";
    for (int f : grid.factors)
        if (f != 1 && f != 2 && f != 4 && f != 8 && f != 16)
            classError = "oversampling factors are 1, 2, 4, 8 and 16";
    if (!args.error.empty() || !classError.empty() || !args.has ("data") || grid.valves.empty()
        || grid.hostRates.empty())
    {
        if (!args.error.empty() || !classError.empty())
            std::fprintf (stderr, "varkel_model_accuracy: %s\n", (args.error + classError).c_str());
        usage();
        return 2;
    }

    const bool rowsShown = !args.has ("summary-only");
    if (rowsShown)
        std::printf ("%-4s %6s %3s %4s %8s %-10s %10s %10s %6s %8s %8s %8s %8s %9s %9s\n", "set", "host", "x", "gain",
                     "t,m,b", "signal", "esr", "esr50ms", "flips", "miss1", "miss2", "miss3", "miss4", "b4alone",
                     "plugin");
    std::vector<AccuracyRow> rows;
    const auto started = std::chrono::steady_clock::now();
    const auto error = runAccuracyGrid (grid, [&] (const AccuracyRow& r)
    {
        rows.push_back (r);
        if (!rowsShown)
            return;
        std::printf ("%-4s %6d %3d %4d %8s %-10s %10.3g %10.3g %6ld %8ld %8ld %8ld %8ld", r.valve.c_str(), r.hostRate,
                     r.factor, r.gain, toneText (r.tone).c_str(), r.signalClass.c_str(), r.esr, r.esr50, r.signFlips,
                     r.misses[0], r.misses[1], r.misses[2], r.misses[3]);
        std::printf (" %9.2g", r.blockEsr[3]);
        if (r.pluginEsr >= 0.0)
            std::printf (" %9.2g\n", r.pluginEsr);
        else
            std::printf (" %9s\n", "-");
        std::fflush (stdout);
    });
    if (!error.empty())
    {
        std::fprintf (stderr, "varkel_model_accuracy: %s\n", error.c_str());
        return 1;
    }

    std::printf ("\n%-22s %6s %10s %10s %10s %10s %7s %9s %9s %9s %9s %17s %17s %17s %17s\n", "summary", "rows",
                 "median", "worst", "median50", "worst50", "flips", "miss1", "miss2", "miss3", "miss4",
                 "block1 med/worst", "block2 med/worst", "block3 med/worst", "block4 med/worst");
    std::map<std::string, std::vector<AccuracyRow>> byClass, byRate, byValve;
    for (const auto& r : rows)
    {
        byClass[r.signalClass].push_back (r);
        byRate[std::to_string (r.hostRate) + " x" + std::to_string (r.factor)].push_back (r);
        byValve[r.valve].push_back (r);
    }
    for (const auto& [name, group] : byValve)
        printSummary (("valve " + name).c_str(), group);
    for (const auto& [name, group] : byRate)
        printSummary (name.c_str(), group);
    for (const auto& [name, group] : byClass)
        printSummary (name.c_str(), group);
    printSummary ("all", rows);

    auto worst = rows;
    std::sort (worst.begin(), worst.end(), [] (const AccuracyRow& a, const AccuracyRow& b)
               { return std::max (a.esr, a.esr50) > std::max (b.esr, b.esr50); });
    std::printf ("\nworst rows:\n");
    for (size_t n = 0; n < worst.size() && n < 8; ++n)
        std::printf ("  %s %d x%d gain %d tone %s %s: esr %.3g, first 50 ms %.3g, %ld flips\n", worst[n].valve.c_str(),
                     worst[n].hostRate, worst[n].factor, worst[n].gain, toneText (worst[n].tone).c_str(),
                     worst[n].signalClass.c_str(), worst[n].esr, worst[n].esr50, worst[n].signFlips);

    const auto s = summariseRows (rows);
    const double missFraction = s.samples > 0
                                    ? static_cast<double> (*std::max_element (s.misses.begin(), s.misses.end()))
                                          / static_cast<double> (s.samples)
                                    : 0.0;
    std::printf ("\n%zu rows in %.1f s\n", rows.size(),
                 std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count());
    int status = 0;
    auto check = [&] (bool exceeded, const char* what, double value, double limit)
    {
        if (!exceeded)
            return;
        std::printf ("FAILED: %s %.3g exceeds the bound %.3g\n", what, value, limit);
        status = 1;
    };
    if (args.has ("max-median"))
        check (std::max (s.medianEsr, s.medianEsr50) > maxMedian, "median ESR", std::max (s.medianEsr, s.medianEsr50),
               maxMedian);
    if (args.has ("max-worst"))
        check (std::max (s.worstEsr, s.worstEsr50) > maxWorst, "worst ESR", std::max (s.worstEsr, s.worstEsr50),
               maxWorst);
    if (!flipLimit.empty())
        check (s.signFlips > flipLimit[0], "sign flips", static_cast<double> (s.signFlips), flipLimit[0]);
    if (args.has ("max-miss-fraction"))
        check (missFraction > maxMissFraction, "largest block miss fraction", missFraction, maxMissFraction);
    return status;
}
