#include "hostentry/Vst2HostAnswers.h"

#include <cstring>

namespace vst2
{
namespace
{
struct CanDoEntry
{
    const char* text;
    int32_t answer;
};

// No MIDI in or out; the plug-in follows the host's time and window rules and bypasses itself.
constexpr CanDoEntry canDoTable[] = {
    {"receiveVstEvents", -1},   {"receiveVstMidiEvent", -1},  {"receiveVstMidiEvents", -1},
    {"sendVstEvents", -1},      {"sendVstMidiEvent", -1},     {"sendVstMidiEvents", -1},
    {"receiveVstTimeInfo", 1},  {"conformsToWindowRules", 1}, {"bypass", 1},
    {"openCloseAnyThread", -1},
};
} // namespace

int32_t canDoAnswer (const char* text) noexcept
{
    if (text == nullptr)
        return 0;
    for (const auto& entry : canDoTable)
        if (std::strcmp (text, entry.text) == 0)
            return entry.answer;
    return 0;
}
} // namespace vst2
