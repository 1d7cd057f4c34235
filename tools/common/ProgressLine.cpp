#include "ProgressLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace
{
constexpr int barWidth = 30;
}

ProgressLine::ProgressLine (std::string toolName)
    : tool (std::move (toolName)), terminal (isatty (STDERR_FILENO) != 0),
      start (std::chrono::steady_clock::now())
{
}

ProgressLine::~ProgressLine()
{
    finish();
}

double ProgressLine::timeLeft (double elapsedSeconds, double fractionDone)
{
    if (!(fractionDone > 0.0))
        return -1.0; // unknown until something is done
    return elapsedSeconds * (1.0 - std::min (fractionDone, 1.0)) / fractionDone;
}

std::string ProgressLine::formatDuration (double seconds)
{
    char text[32];
    if (!(seconds >= 0.0))
        return "?";
    if (seconds < 60.0)
        std::snprintf (text, sizeof (text), "%.1f s", seconds);
    else if (seconds < 3600.0)
    {
        const long whole = std::lround (seconds);
        std::snprintf (text, sizeof (text), "%ld min %02ld s", whole / 60, whole % 60);
    }
    else
    {
        const long minutes = std::lround (seconds / 60.0);
        std::snprintf (text, sizeof (text), "%ld h %02ld min", minutes / 60, minutes % 60);
    }
    return text;
}

void ProgressLine::update (double fractionDone, const std::string& what)
{
    std::lock_guard<std::mutex> lock (mutex);
    if (finished)
        return;
    fraction = std::clamp (std::isfinite (fractionDone) ? fractionDone : 0.0, 0.0, 1.0);
    current = what;
    const int quarter = static_cast<int> (fraction * 4.0);
    if (!terminal && quarter == lastQuarter && fraction < 1.0)
        return;
    lastQuarter = quarter;
    drawLocked();
}

void ProgressLine::printLine (const std::string& line)
{
    std::lock_guard<std::mutex> lock (mutex);
    if (terminal && shown && !finished)
        std::fprintf (stderr, "\r\033[K");
    std::fprintf (stderr, "%s\n", line.c_str());
    if (terminal && shown && !finished)
        drawLocked();
    std::fflush (stderr);
}

void ProgressLine::finish()
{
    std::lock_guard<std::mutex> lock (mutex);
    if (finished)
        return;
    finished = true;
    if (terminal && shown)
        std::fprintf (stderr, "\n");
    std::fflush (stderr);
}

void ProgressLine::drawLocked()
{
    const double elapsed = std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
    char bar[barWidth + 1];
    const int filled = static_cast<int> (fraction * barWidth);
    for (int i = 0; i < barWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[barWidth] = '\0';
    std::fprintf (stderr, "%s%s: [%s] %3.0f%% %s, %s elapsed, %s left%s", terminal ? "\r\033[K" : "",
                  tool.c_str(), bar, fraction * 100.0, current.c_str(), formatDuration (elapsed).c_str(),
                  formatDuration (timeLeft (elapsed, fraction)).c_str(), terminal ? "" : "\n");
    std::fflush (stderr);
    shown = true;
}
