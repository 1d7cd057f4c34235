#include "ProgressLine.h"

#include <algorithm>
#include <cmath>

ProgressLine::ProgressLine (int totalUnits, std::FILE* o, bool tty, double quiet)
    : out (o), inPlace (tty), quietSeconds (quiet), total (std::max (totalUnits, 1))
{
}

double ProgressLine::elapsed() const
{
    return std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
}

std::string ProgressLine::formatDuration (double seconds)
{
    if (!std::isfinite (seconds) || seconds < 0.0)
        return "?";
    const auto s = static_cast<long> (std::lround (seconds));
    char text[32];
    if (s >= 3600)
        std::snprintf (text, sizeof (text), "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else
        std::snprintf (text, sizeof (text), "%ld:%02ld", s / 60, s % 60);
    return text;
}

void ProgressLine::started (const std::string& what)
{
    std::lock_guard<std::mutex> lock (mutex);
    current = what;
    draw (false);
}

void ProgressLine::done (const std::string& what)
{
    std::lock_guard<std::mutex> lock (mutex);
    finished = std::min (finished + 1, total);
    if (current.empty())
        current = what;
    draw (false);
}

void ProgressLine::log (const std::string& line)
{
    std::lock_guard<std::mutex> lock (mutex);
    if (inPlace && drawnWidth > 0)
        std::fprintf (out, "\r%*s\r", static_cast<int> (drawnWidth), "");
    std::fprintf (out, "%s\n", line.c_str());
    drawnWidth = 0;
    if (inPlace)
        draw (true);
    std::fflush (out);
}

void ProgressLine::finish()
{
    std::lock_guard<std::mutex> lock (mutex);
    if (inPlace && drawnWidth > 0)
        std::fprintf (out, "\r%*s\r", static_cast<int> (drawnWidth), "");
    drawnWidth = 0;
    std::fprintf (out, "trained %d/%d units in %s\n", finished, total, formatDuration (elapsed()).c_str());
    std::fflush (out);
}

void ProgressLine::draw (bool force)
{
    const double now = elapsed();
    if (!force && now - lastDraw < (inPlace ? 0.2 : quietSeconds) && finished < total)
        return;
    lastDraw = now;
    // The time left from the pace so far; the units are of unequal size, so it is a guide.
    const std::string left = finished > 0 ? formatDuration (now * (total - finished) / finished) : "?";
    char text[256];
    std::snprintf (text, sizeof (text), "[%3d/%3d] %3d%%  elapsed %s  left %s  %s", finished, total,
                   100 * finished / total, formatDuration (now).c_str(), left.c_str(), current.c_str());
    std::string line = text;
    if (inPlace)
    {
        const size_t width = line.size();
        if (width < drawnWidth)
            line.append (drawnWidth - width, ' ');
        std::fprintf (out, "\r%s", line.c_str());
        drawnWidth = width;
    }
    else
        std::fprintf (out, "%s\n", line.c_str());
    std::fflush (out);
}
