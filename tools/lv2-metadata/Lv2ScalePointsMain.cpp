// Build step after the framework has written the LV2 bundle's dsp.ttl: gives every stepped
// parameter its scale points, one per engine position with the plug-in's own display text at
// the normalized value that selects it, so an LV2 host offers "Fresh 12ax7" / "Aged  12ax7",
// "none" .. "x16" and the gain and tone positions instead of a bare 0..1 slider. The framework
// cannot write them itself: its legacy parameters have no text for a value other than the
// current one. Switches are also marked as enumerations. Running it again changes nothing.
//
//   varkel_lv2_scale_points BUNDLE/dsp.ttl

#include "processor/ParameterText.h"
#include "processor/ProgramRecord.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// A parameter with more positions than this is a continuous control.
constexpr size_t maxScalePoints = 64;

// The engine positions of a parameter, found by sweeping its own conversion.
std::vector<float> enginePositions (int index)
{
    std::set<float> positions;
    constexpr int probes = 20000;
    for (int k = 0; k <= probes && positions.size() <= maxScalePoints; ++k)
        positions.insert (normalizedToEngine (index, static_cast<float> (k) / probes));
    if (positions.size() > maxScalePoints)
        return {};
    return {positions.begin(), positions.end()};
}

std::string quoted (const juce::String& text)
{
    std::string out = "\"";
    for (char c : text.toStdString())
    {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// The Turtle properties to add to one parameter's description; empty for a continuous one.
std::string scalePointsOf (int index)
{
    const auto positions = enginePositions (index);
    if (positions.size() < 2)
        return {};
    std::ostringstream text;
    if (positions.size() <= 5)
        text << "\tlv2:portProperty lv2:enumeration ;\n";
    text << "\tlv2:scalePoint ";
    for (size_t p = 0; p < positions.size(); ++p)
    {
        const float normalized = engineToNormalized (index, positions[p]);
        if (normalizedToEngine (index, normalized) != positions[p])
            return {}; // a position the host could not select exactly: offer none
        char value[32];
        std::snprintf (value, sizeof value, "%.9g", static_cast<double> (normalized));
        text << (p == 0 ? "[\n" : " , [\n") << "\t\trdfs:label " << quoted (getParameterValueText (index, positions[p]))
             << " ;\n\t\trdf:value " << value << "\n\t]";
    }
    return text.str();
}
} // namespace

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: varkel_lv2_scale_points BUNDLE/dsp.ttl\n");
        return 2;
    }
    std::ifstream in (argv[1], std::ios::binary);
    if (!in)
    {
        std::fprintf (stderr, "varkel_lv2_scale_points: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string ttl = buffer.str();
    in.close();

    int added = 0;
    for (int index = 0; index < numParameters; ++index)
    {
        const std::string head = "plug:" + getParameterKey (index).toStdString() + "\n\ta lv2:Parameter ;";
        const size_t start = ttl.find (head);
        if (start == std::string::npos)
        {
            std::fprintf (stderr, "varkel_lv2_scale_points: %s describes no parameter \"%s\"\n", argv[1],
                          getParameterKey (index).toRawUTF8());
            return 1;
        }
        const size_t end = ttl.find (" .\n", start);
        if (end == std::string::npos)
            return 1;
        if (ttl.substr (start, end - start).find ("lv2:scalePoint") != std::string::npos)
            continue;
        const std::string points = scalePointsOf (index);
        if (points.empty())
            continue;
        ttl.insert (end, " ;\n" + points);
        ++added;
    }

    if (added > 0)
    {
        std::ofstream out (argv[1], std::ios::binary | std::ios::trunc);
        out << ttl;
        if (!out)
        {
            std::fprintf (stderr, "varkel_lv2_scale_points: cannot write %s\n", argv[1]);
            return 1;
        }
    }
    return 0;
}
