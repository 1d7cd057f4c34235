#pragma once

#include <cstdint>

// What the VST 2.4 host sees of the plug-in beyond the framework wrapper's own answers.
namespace vst2
{
// Opcode numbers of the VST 2.4 interface that the free ABI header (fst.h) does not know. It gives
// them placeholder values instead, and the framework wrapper is compiled against those, so a real
// host's call with the true number would never reach the wrapper's handler.
namespace opcode
{
constexpr int32_t setBypass = 44;
constexpr int32_t getTailSize = 52;
constexpr int32_t keysRequired = 57;
constexpr int32_t getNumMidiInputChannels = 78;
constexpr int32_t getNumMidiOutputChannels = 79;
} // namespace opcode

// The answer to effCanDo: 1 yes, -1 no, 0 for any text not in the plug-in's table. The text is
// compared exactly; a null text answers 0.
int32_t canDoAnswer (const char* text) noexcept;
} // namespace vst2
